// The boxes a run shows and the questions it asks, without knowing who
// answers: the window shows message boxes, the command line writes to the
// console, tests answer from a script. Runs never talk to widgets.
#pragma once

#include "base/vlxTextUtils.h"

#include <QString>
#include <memory>

// The button Enter presses. Escape always answers No.
enum TDefaultAnswer { daNo, daYes };

struct TQuestion {
    QString Text;
    TDefaultAnswer Default = daNo;
    // A check box below the text, unchecked at first; empty: none.
    QString CheckBox;
};

struct TQuestionAnswer {
    bool Yes = false;
    // The check box was checked (never without Yes).
    bool Checked = false;
};

class IUserDialogs {
public:
    virtual ~IUserDialogs() = default;
    // An information box with an OK button.
    void ShowInformation(const QString& message) { DoShowInformation(EscapeControlChars(message)); }
    // An error box (stop icon) with an OK button.
    void ShowError(const QString& message) { DoShowError(EscapeControlChars(message)); }
    // A question with Yes and No buttons.
    TQuestionAnswer Ask(const TQuestion& question) {
        TQuestionAnswer answer = DoAsk({EscapeControlChars(question.Text), question.Default,
                                        EscapeControlChars(question.CheckBox)});
        answer.Checked = answer.Yes && answer.Checked && !question.CheckBox.isEmpty();
        return answer;
    }
    // A question without a check box; true for Yes. Enter answers No unless
    // the caller says otherwise, so a stray key press changes nothing.
    bool ConfirmYesNo(const QString& message, TDefaultAnswer defaultAnswer = daNo) {
        return Ask({message, defaultAnswer, QString()}).Yes;
    }

protected:
    // The boxes themselves. Their text never holds a raw control character
    // (a NUL of a report, say), whoever answers: escaped once, here.
    virtual void DoShowInformation(const QString& message) = 0;
    virtual void DoShowError(const QString& message) = 0;
    virtual TQuestionAnswer DoAsk(const TQuestion& question) = 0;
};
using IUserDialogsPtr = std::shared_ptr<IUserDialogs>;
