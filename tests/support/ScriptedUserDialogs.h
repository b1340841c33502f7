// User dialogs for tests: records every box shown and answers questions
// from a script. An unexpected question fails the test instead of guessing.
#pragma once

#include "export/UserDialogs.h"

#include <QStringList>
#include <QtTest>

class TScriptedUserDialogs : public IUserDialogs {
public:
    // "information: <text>", "error: <text>", "confirm: <text>" in order.
    QStringList Shown;
    // Every question as it was asked (its default button, its check box).
    QList<TQuestion> Questions;
    // Answers for the questions, taken from the front.
    QList<bool> Answers;
    // Whether the check box of the next questions is checked, from the
    // front; none left: unchecked.
    QList<bool> Checks;

protected:
    void DoShowInformation(const QString& message) override {
        Shown << QStringLiteral("information: ") + message;
    }
    void DoShowError(const QString& message) override {
        Shown << QStringLiteral("error: ") + message;
    }
    TQuestionAnswer DoAsk(const TQuestion& question) override {
        Shown << QStringLiteral("confirm: ") + question.Text;
        Questions << question;
        const bool checked = Checks.isEmpty() ? false : Checks.takeFirst();
        if (Answers.isEmpty()) {
            QTest::qFail("a question was asked that the test did not script", __FILE__, __LINE__);
            return {};
        }
        return {Answers.takeFirst(), checked};
    }
};
