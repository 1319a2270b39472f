#pragma once

#include "EncoderSettings.h"
#include "capture/gst/GstHandle.h"

#include <QDialog>

class QFormLayout;

#include <functional>
#include <vector>

namespace capture {

// An encoder's settings page: each property that can be changed after the encoder is made,
// with an editor for its type (check box, number box, choice list, text). It starts from
// the settings given and hands back those that differ from the encoder's defaults.
class EncoderPropertyPage : public QDialog {
    Q_OBJECT
public:
    EncoderPropertyPage(const std::string& factory, const EncoderSettings& settings,
                        QWidget* parent = nullptr);
    ~EncoderPropertyPage() override;

    // False for an encoder that cannot be made or has nothing to edit.
    static bool hasEditableProperties(const std::string& factory);

    EncoderSettings settings() const;

private:
    struct Editor {
        std::string property;
        std::string defaultValue;
        std::function<std::string()> value;
    };

    void addEditor(QFormLayout& form, GParamSpec* param);

    ElementPtr m_encoder;
    std::vector<Editor> m_editors;
};

}  // namespace capture
