// The boxes a run shows and the questions it asks, without knowing who
// answers: the window shows message boxes, the command line writes to the
// console, tests answer from a script. Runs never talk to widgets.
#pragma once

#include "base/vlxTextUtils.h"

#include <QString>
#include <memory>

class IUserDialogs {
public:
    virtual ~IUserDialogs() = default;
    // An information box with an OK button.
    void ShowInformation(const QString& message) { DoShowInformation(EscapeControlChars(message)); }
    // An error box (stop icon) with an OK button.
    void ShowError(const QString& message) { DoShowError(EscapeControlChars(message)); }
    // A confirmation box with Yes and No buttons; true for Yes.
    bool ConfirmYesNo(const QString& message) {
        return DoConfirmYesNo(EscapeControlChars(message));
    }

protected:
    // The boxes themselves. Their text never holds a raw control character
    // (a NUL of a report, say), whoever answers: escaped once, here.
    virtual void DoShowInformation(const QString& message) = 0;
    virtual void DoShowError(const QString& message) = 0;
    virtual bool DoConfirmYesNo(const QString& message) = 0;
};
using IUserDialogsPtr = std::shared_ptr<IUserDialogs>;
