// The base of option panels: one change handler, told of every change of
// any control inside the panel (a keystroke in an edit, a click on a check
// box), as long as one is set. The change also goes on to the panel the
// panel sits in.
#pragma once

#include <QWidget>
#include <functional>

class TOptionsBaseFrm : public QWidget {
    Q_OBJECT
public:
    using TChangeHandler = std::function<void(TOptionsBaseFrm* sender)>;

    explicit TOptionsBaseFrm(QWidget* parent = nullptr);

    const TChangeHandler& OnChange() const { return m_onChange; }
    void SetOnChange(TChangeHandler handler) { m_onChange = std::move(handler); }

protected:
    // Watches every edit, check box, radio button, combo box, spin box and
    // date edit inside the panel; a derived panel calls it once its controls
    // exist.
    void WatchControls();
    void Changed();

private:
    TChangeHandler m_onChange;
};
