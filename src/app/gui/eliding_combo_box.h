#pragma once

#include <QComboBox>

namespace pelvano::gui {

// A drop-down list whose closed box elides a text too long for it, and
// whose open list is as wide as its longest entry.
class ElidingComboBox : public QComboBox {
    Q_OBJECT

public:
    using QComboBox::QComboBox;

    // The current text as the closed box shows it.
    QString shownText() const;
    void showPopup() override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int textWidth() const;
};

}  // namespace pelvano::gui
