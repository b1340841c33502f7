// A push button that triggers an action and follows its text and enabled
// state, as the pages' buttons do.
#pragma once

#include <QAction>
#include <QPushButton>

inline QPushButton* ActionButton(QAction* action, int width) {
    auto* button = new QPushButton(action->text());
    button->setMinimumHeight(25);
    button->setMinimumWidth(width);
    QObject::connect(button, &QPushButton::clicked, action, &QAction::trigger);
    QObject::connect(action, &QAction::changed, button, [button, action] {
        button->setText(action->text());
        button->setEnabled(action->isEnabled());
    });
    return button;
}
