// The choice of a report file: the chosen path in a read-only box and the
// "&Open..." button of the file-open action.
#pragma once

#include <QWidget>

class QAction;
class QLabel;
class QLineEdit;
class QPushButton;

// A filter of the form "description|pattern[|description|pattern...]", a
// pattern listing wildcards separated by ";", in Qt's form:
// "Checks files (*.csv)|*.csv" gives "Checks files (*.csv)", and
// "GL Journal files (*.csv,*.txt)|*.csv;*.txt" gives
// "GL Journal files (*.csv *.txt)". The patterns replace a parenthesised
// list at the end of the description, which Qt would not understand.
QString QtFileFilter(const QString& filter);

class TFileOpenFrm : public QWidget {
    Q_OBJECT
public:
    explicit TFileOpenFrm(QWidget* parent = nullptr);

    // The path shown, trimmed of blanks.
    QString FileName() const;
    bool HasFile() const { return !FileName().isEmpty(); }
    void SetFileName(const QString& path);

    // The dialog's filter, in the "description|pattern" form.
    void SetFilter(const QString& filter) { m_filter = filter; }
    const QString& Filter() const { return m_filter; }
    // "short|long": the button's tooltip and the status bar text.
    void SetHint(const QString& hint);

    // The file-open dialog; accepting shows the chosen file's full path,
    // cancelling changes nothing.
    void OpenFile();

    QLabel* Label1;
    QLineEdit* Edit1;
    QPushButton* Button1;
    QAction* FileOpen1;

private:
    QString m_filter;
};
