// The boxes a run shows and the questions it asks, without knowing who
// answers: the window shows message boxes, the command line writes to the
// console, tests answer from a script. Runs never talk to widgets.
#pragma once

#include <QString>
#include <memory>

class IUserDialogs {
public:
    virtual ~IUserDialogs() = default;
    // An information box with an OK button.
    virtual void ShowInformation(const QString& message) = 0;
    // An error box (stop icon) with an OK button.
    virtual void ShowError(const QString& message) = 0;
    // A confirmation box with Yes and No buttons; true for Yes.
    virtual bool ConfirmYesNo(const QString& message) = 0;
};
using IUserDialogsPtr = std::shared_ptr<IUserDialogs>;
