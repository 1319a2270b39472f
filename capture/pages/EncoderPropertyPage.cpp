#include "EncoderPropertyPage.h"

#include "capture/devices/EncoderProperties.h"
#include "capture/devices/LiveEncoder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QScrollArea>
#include <QSpinBox>
#include <QVBoxLayout>
#include <QValidator>

#include <cmath>
#include <limits>
#include <memory>

namespace capture {

namespace {

struct GValueHolder {
    GValue value = G_VALUE_INIT;
    explicit GValueHolder(GType type) { g_value_init(&value, type); }
    ~GValueHolder() { g_value_unset(&value); }
    GValueHolder(const GValueHolder&) = delete;
    GValueHolder& operator=(const GValueHolder&) = delete;
};

std::vector<GParamSpec*> editableProperties(GstElement* element)
{
    guint count = 0;
    // The array is ours, the property descriptions in it belong to the element's class.
    std::unique_ptr<GParamSpec*, decltype(&g_free)> all(
        g_object_class_list_properties(G_OBJECT_GET_CLASS(element), &count), &g_free);
    std::vector<GParamSpec*> editable;
    for (guint i = 0; i < count; ++i)
        if (isEncoderSetting(all.get()[i]))
            editable.push_back(all.get()[i]);
    return editable;
}

// The property's current value in the form gst_util_set_object_arg reads back.
std::string serialized(GstElement* element, GParamSpec* param)
{
    GValueHolder holder(param->value_type);
    g_object_get_property(G_OBJECT(element), param->name, &holder.value);
    const GValue* value = &holder.value;
    switch (G_TYPE_FUNDAMENTAL(param->value_type)) {
    case G_TYPE_BOOLEAN: return g_value_get_boolean(value) ? "true" : "false";
    case G_TYPE_INT: return std::to_string(g_value_get_int(value));
    case G_TYPE_UINT: return std::to_string(g_value_get_uint(value));
    case G_TYPE_LONG: return std::to_string(g_value_get_long(value));
    case G_TYPE_ULONG: return std::to_string(g_value_get_ulong(value));
    case G_TYPE_INT64: return std::to_string(g_value_get_int64(value));
    case G_TYPE_UINT64: return std::to_string(g_value_get_uint64(value));
    case G_TYPE_FLOAT: return QString::number(g_value_get_float(value), 'g', 9).toStdString();
    case G_TYPE_DOUBLE: return QString::number(g_value_get_double(value), 'g', 17).toStdString();
    case G_TYPE_ENUM: {
        GEnumValue* entry = g_enum_get_value(G_PARAM_SPEC_ENUM(param)->enum_class, g_value_get_enum(value));
        return entry ? entry->value_nick : std::to_string(g_value_get_enum(value));
    }
    case G_TYPE_STRING: {
        const char* text = g_value_get_string(value);
        return text ? text : "";
    }
    }
    return {};
}

QString tooltipOf(GParamSpec* param)
{
    const char* blurb = g_param_spec_get_blurb(param);
    return blurb ? QString::fromUtf8(blurb) : QString();
}

// A whole-number editor. QSpinBox holds int; wider ranges are typed into a validated line.
QWidget* integerEditor(const std::string& current, long double minimum, long double maximum,
                       std::function<std::string()>& read)
{
    constexpr long double intMin = std::numeric_limits<int>::min();
    constexpr long double intMax = std::numeric_limits<int>::max();
    if (minimum >= intMin && maximum <= intMax) {
        auto* box = new QSpinBox;
        box->setRange(static_cast<int>(minimum), static_cast<int>(maximum));
        box->setValue(std::stoi(current));
        read = [box] { return std::to_string(box->value()); };
        return box;
    }
    auto* line = new QLineEdit(QString::fromStdString(current));
    auto* validator = new QRegularExpressionValidator(
        QRegularExpression(minimum < 0 ? QStringLiteral("-?[0-9]+") : QStringLiteral("[0-9]+")), line);
    line->setValidator(validator);
    read = [line, current] {
        const QString text = line->text().trimmed();
        return text.isEmpty() ? current : text.toStdString();
    };
    return line;
}

QWidget* makeEditor(GParamSpec* param, const std::string& current, std::function<std::string()>& read)
{
    switch (G_TYPE_FUNDAMENTAL(param->value_type)) {
    case G_TYPE_BOOLEAN: {
        auto* box = new QCheckBox;
        box->setChecked(current == "true");
        read = [box] { return std::string(box->isChecked() ? "true" : "false"); };
        return box;
    }
    case G_TYPE_INT:
        return integerEditor(current, G_PARAM_SPEC_INT(param)->minimum, G_PARAM_SPEC_INT(param)->maximum, read);
    case G_TYPE_UINT:
        return integerEditor(current, G_PARAM_SPEC_UINT(param)->minimum, G_PARAM_SPEC_UINT(param)->maximum, read);
    case G_TYPE_LONG:
        return integerEditor(current, G_PARAM_SPEC_LONG(param)->minimum, G_PARAM_SPEC_LONG(param)->maximum, read);
    case G_TYPE_ULONG:
        return integerEditor(current, G_PARAM_SPEC_ULONG(param)->minimum, G_PARAM_SPEC_ULONG(param)->maximum, read);
    case G_TYPE_INT64:
        return integerEditor(current, G_PARAM_SPEC_INT64(param)->minimum, G_PARAM_SPEC_INT64(param)->maximum, read);
    case G_TYPE_UINT64:
        return integerEditor(current, G_PARAM_SPEC_UINT64(param)->minimum, G_PARAM_SPEC_UINT64(param)->maximum, read);
    case G_TYPE_FLOAT:
    case G_TYPE_DOUBLE: {
        const bool isFloat = G_TYPE_FUNDAMENTAL(param->value_type) == G_TYPE_FLOAT;
        auto* box = new QDoubleSpinBox;
        box->setDecimals(3);
        box->setRange(isFloat ? G_PARAM_SPEC_FLOAT(param)->minimum : G_PARAM_SPEC_DOUBLE(param)->minimum,
                      isFloat ? G_PARAM_SPEC_FLOAT(param)->maximum : G_PARAM_SPEC_DOUBLE(param)->maximum);
        box->setValue(QString::fromStdString(current).toDouble());
        // An untouched box gives back the exact value it was given, not its rounded display.
        read = [box, current, shown = box->value()] {
            return box->value() == shown ? current : QString::number(box->value(), 'g', 17).toStdString();
        };
        return box;
    }
    case G_TYPE_ENUM: {
        auto* list = new QComboBox;
        // Some encoders describe their choices at length; the page must not grow sideways.
        list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        list->setMinimumContentsLength(24);
        GEnumClass* values = G_PARAM_SPEC_ENUM(param)->enum_class;
        for (guint i = 0; i < values->n_values; ++i) {
            list->addItem(QString::fromUtf8(values->values[i].value_name),
                          QString::fromUtf8(values->values[i].value_nick));
            if (current == values->values[i].value_nick)
                list->setCurrentIndex(static_cast<int>(i));
        }
        read = [list] { return list->currentData().toString().toStdString(); };
        return list;
    }
    default: {
        auto* line = new QLineEdit(QString::fromStdString(current));
        read = [line] { return line->text().toStdString(); };
        return line;
    }
    }
}

}  // namespace

EncoderPropertyPage::EncoderPropertyPage(const std::string& factory, const EncoderSettings& settings,
                                         QWidget* parent)
    : QDialog(parent), m_encoder(makeLiveEncoder(factory))
{
    setObjectName(QStringLiteral("EncoderPropertyPage"));
    setModal(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* fields = new QWidget;
    auto* form = new QFormLayout(fields);
    if (m_encoder) {
        GstElementFactory* source = gst_element_get_factory(m_encoder.get());
        const char* longName = gst_element_factory_get_metadata(source, GST_ELEMENT_METADATA_LONGNAME);
        setWindowTitle(tr("%1 Settings").arg(QString::fromUtf8(longName ? longName : factory.c_str())));

        const std::vector<GParamSpec*> properties = editableProperties(m_encoder.get());
        std::vector<std::string> defaults;
        for (GParamSpec* param : properties)
            defaults.push_back(serialized(m_encoder.get(), param));
        for (const auto& [name, value] : settings)
            if (g_object_class_find_property(G_OBJECT_GET_CLASS(m_encoder.get()), name.c_str()))
                gst_util_set_object_arg(G_OBJECT(m_encoder.get()), name.c_str(), value.c_str());
        for (size_t i = 0; i < properties.size(); ++i) {
            addEditor(*form, properties[i]);
            m_editors.back().defaultValue = defaults[i];
        }
    }

    auto* scroll = new QScrollArea;
    scroll->setWidget(fields);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(scroll);
    layout->addWidget(buttons);
    resize(520, 480);
}

EncoderPropertyPage::~EncoderPropertyPage() = default;

void EncoderPropertyPage::addEditor(QFormLayout& form, GParamSpec* param)
{
    Editor editor;
    editor.property = param->name;
    QWidget* widget = makeEditor(param, serialized(m_encoder.get(), param), editor.value);
    widget->setObjectName(QString::fromUtf8(param->name));
    widget->setToolTip(tooltipOf(param));
    const char* nick = g_param_spec_get_nick(param);
    form.addRow(QString::fromUtf8(nick ? nick : param->name) + QLatin1Char(':'), widget);
    m_editors.push_back(std::move(editor));
}

bool EncoderPropertyPage::hasEditableProperties(const std::string& factory)
{
    ElementPtr encoder = makeLiveEncoder(factory);
    return encoder && !editableProperties(encoder.get()).empty();
}

EncoderSettings EncoderPropertyPage::settings() const
{
    EncoderSettings changed;
    for (const Editor& editor : m_editors) {
        std::string value = editor.value();
        if (value != editor.defaultValue)
            changed[editor.property] = std::move(value);
    }
    return changed;
}

}  // namespace capture
