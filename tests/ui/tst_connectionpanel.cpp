// The connection settings panel: the password edit's rules, the server
// field's address and port, completeness, change reports and the info box.
#include "base/ztExceptions.h"
#include "ui/OrvAPIConnectionParamFrame.h"
#include "ui/PasswordEdit.h"
#include "ui/UserDialogBoxes.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QToolButton>
#include <QtTest>

using namespace Qt::StringLiterals;

class TestConnectionPanel : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void passwordEdit_data();
    void passwordEdit();
    void serverField_data();
    void serverField();
    void portShownOnlyWhenNotDefault();
    void everyChangeReported();
    void infoBox();
};

void TestConnectionPanel::passwordEdit_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("typed"); // "-" leaves the edit untouched
    QTest::addColumn<QString>("password");
    QTest::newRow("untouched") << u"abc"_s << u"-"_s << u"abc"_s;
    QTest::newRow("one star deleted") << u"abc"_s << u"  "_s << u"  "_s;
    QTest::newRow("typed") << u"abc"_s << u"secret"_s << u"secret"_s;
    QTest::newRow("emptied") << u"abc"_s << QString() << QString();
    QTest::newRow("nothing stored, typed") << QString() << u"x"_s << u"x"_s;
}

void TestConnectionPanel::passwordEdit() {
    QFETCH(QString, stored);
    QFETCH(QString, typed);
    QFETCH(QString, password);
    TPasswordEdit edit;
    edit.SetPassword(stored);
    // The stored password is never the edit's text, only blanks of its length.
    QCOMPARE(edit.text(), QString(stored.size(), u' '));
    QCOMPARE(edit.displayText(), QString(stored.size(), u'*'));
    if (typed != u"-")
        edit.setText(typed);
    QCOMPARE(edit.GetPassword(), password);
}

void TestConnectionPanel::serverField_data() {
    QTest::addColumn<QString>("server");
    QTest::addColumn<bool>("complete");
    QTest::addColumn<QString>("address"); // "!" : GetParam fails
    QTest::addColumn<int>("port");
    QTest::newRow("name") << u" api.example.com "_s << true << u"api.example.com"_s << 9943;
    QTest::newRow("name and port")
        << u"api.example.com:9944"_s << true << u"api.example.com"_s << 9944;
    QTest::newRow("two colons") << u"a:1:2"_s << false << u"a:1:2"_s << 9943;
    QTest::newRow("trailing colon") << u"api:"_s << true << u"!"_s << 0;
    QTest::newRow("letters as port") << u"api:port"_s << true << u"!"_s << 0;
    QTest::newRow("empty") << QString() << false << QString() << 9943;
}

void TestConnectionPanel::serverField() {
    QFETCH(QString, server);
    QFETCH(bool, complete);
    QFETCH(QString, address);
    QFETCH(int, port);
    TOrvAPIConnectionParamFrm panel;
    panel.APIServerEdit->setText(server);
    panel.UserNameEdit->setText(u" demo "_s);
    panel.PasswordEdit->setText(u"pw"_s);
    QCOMPARE(panel.IsComplete(), complete);
    if (address == u"!") {
        QVERIFY_THROWS_EXCEPTION(EConvertError, panel.GetParam());
        return;
    }
    const TOrvAPIConnectionParam param = panel.GetParam();
    QCOMPARE(param.APIServerAddress, address);
    QCOMPARE(param.APIServerPort, port);
    QCOMPARE(param.Username, u"demo"_s);

    // A user name or a password missing makes any server incomplete.
    panel.UserNameEdit->setText(u"   "_s);
    QVERIFY(!panel.IsComplete());
    panel.UserNameEdit->setText(u"demo"_s);
    panel.PasswordEdit->setText(QString());
    QVERIFY(!panel.IsComplete());
}

void TestConnectionPanel::portShownOnlyWhenNotDefault() {
    TOrvAPIConnectionParamFrm panel;
    TOrvAPIConnectionParam param{u"api"_s, 9943, u"demo"_s, u"pw"_s, true};
    panel.SetParam(param);
    QCOMPARE(panel.APIServerEdit->text(), u"api"_s);
    QCOMPARE(panel.GetParam(), param);
    param.APIServerPort = 9944;
    panel.SetParam(param);
    QCOMPARE(panel.APIServerEdit->text(), u"api:9944"_s);
    QCOMPARE(panel.GetParam(), param);
}

void TestConnectionPanel::everyChangeReported() {
    // The panel inside another option panel: the outer one hears it too.
    class TOuterPanel : public TOptionsBaseFrm {
    public:
        TOrvAPIConnectionParamFrm* Inner = new TOrvAPIConnectionParamFrm(this);
    } outer;
    QStringList heard;
    outer.Inner->SetOnChange([&heard](TOptionsBaseFrm* sender) {
        heard << static_cast<TOrvAPIConnectionParamFrm*>(sender)->APIServerEdit->text();
    });
    int outerHeard = 0;
    outer.SetOnChange([&outerHeard](TOptionsBaseFrm*) { ++outerHeard; });

    QTest::keyClicks(outer.Inner->APIServerEdit, u"ab"_s);
    QTest::keyClicks(outer.Inner->UserNameEdit, u"u"_s);
    QTest::keyClicks(outer.Inner->PasswordEdit, u"p"_s);
    outer.Inner->cbSavePassword->click();
    QCOMPARE(heard, (QStringList{u"a"_s, u"ab"_s, u"ab"_s, u"ab"_s, u"ab"_s}));
    QCOMPARE(outerHeard, 5);
}

void TestConnectionPanel::infoBox() {
    TPreAnsweredDialogs boxes;
    TOrvAPIConnectionParamFrm panel;
    panel.SpeedButton1->click();
    QCOMPARE(boxes.Boxes().size(), 1);
    const TMessageBoxRequest& box = boxes.Boxes().first();
    QCOMPARE(box.Title, u"Orvane QB Export"_s);
    QCOMPARE(box.Buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    const QStringList lines = box.Text.split(u"\r\n"_s);
    QCOMPARE(lines.size(), 17); // 16 lines, each ending with CR LF
    QCOMPARE(lines[0], u"Please contact your service bureau to obtain this address."_s);
    QCOMPARE(lines[5],
             u"1.       Is the API server name correct? Check with your Service Bureau."_s);
    QVERIFY(lines[14].startsWith(u"         "_s) && lines[14].endsWith(u":<TCPPORT>"_s));
    QVERIFY(lines[15].startsWith(u"         like "_s) && lines[15].endsWith(u":9944"_s));
}

QTEST_MAIN(TestConnectionPanel)
#include "tst_connectionpanel.moc"
