#pragma once

#include <QCheckBox>

namespace desktop {

// A check box whose caption wraps at word boundaries onto further lines where the box is tall
// enough, as the layouts' check boxes were drawn: "Use Audio Compressor when Capture" takes two
// lines beside its indicator. The whole box takes clicks, the second line included.
class CheckBox : public QCheckBox {
public:
    using QCheckBox::QCheckBox;

    // How the caption is laid out in the style's contents rectangle (SE_CheckBoxContents).
    static constexpr int CaptionFlags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap | Qt::TextShowMnemonic;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& position) const override;
};

}  // namespace desktop
