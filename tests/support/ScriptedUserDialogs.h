// User dialogs for tests: records every box shown and answers confirmations
// from a script. An unexpected question fails the test instead of guessing.
#pragma once

#include "export/UserDialogs.h"

#include <QStringList>
#include <QtTest>

class TScriptedUserDialogs : public IUserDialogs {
public:
    // "information: <text>", "error: <text>", "confirm: <text>" in order.
    QStringList Shown;
    // Answers for ConfirmYesNo, taken from the front.
    QList<bool> Answers;

protected:
    void DoShowInformation(const QString& message) override {
        Shown << QStringLiteral("information: ") + message;
    }
    void DoShowError(const QString& message) override {
        Shown << QStringLiteral("error: ") + message;
    }
    bool DoConfirmYesNo(const QString& message) override {
        Shown << QStringLiteral("confirm: ") + message;
        if (Answers.isEmpty()) {
            QTest::qFail("a question was asked that the test did not script", __FILE__, __LINE__);
            return false;
        }
        return Answers.takeFirst();
    }
};
