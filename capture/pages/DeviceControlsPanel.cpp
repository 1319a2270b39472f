#include "DeviceControlsPanel.h"

#include "capture/engine/FailureMessage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSlider>
#include <QSocketNotifier>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>

namespace capture {

struct DeviceControlsPanel::Row {
    DeviceControl control;  // as last read
    QLabel* label = nullptr;
    QWidget* editor = nullptr;  // the widget that takes the user's input
    QSlider* slider = nullptr;
    QSpinBox* spin = nullptr;
    QCheckBox* check = nullptr;
    QComboBox* menu = nullptr;
    QLineEdit* line = nullptr;
    QLabel* fixed = nullptr;  // compound controls: what they hold, not edited
    QLabel* status = nullptr;

    // The user is moving or typing into it: what the device reports meanwhile waits.
    bool held() const
    {
        return (slider && slider->isSliderDown()) || (line && line->hasFocus() && line->isModified());
    }
};

namespace {

constexpr int VolatileRefreshMs = 250;
constexpr int ChangePollMs = 50;
constexpr int MaxEmptyWakeups = 20;

QString fromStd(const std::string& text) { return QString::fromStdString(text); }

int toInt(std::int64_t value)
{
    return static_cast<int>(std::clamp<std::int64_t>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

QString hex(std::int64_t value)
{
    return QStringLiteral("0x%1").arg(static_cast<quint32>(value), 8, 16, QLatin1Char('0'));
}

QString describeCompound(const DeviceControl& control)
{
    QStringList sizes;
    for (const std::uint32_t dimension : control.dimensions)
        sizes << QString::number(dimension);
    return QObject::tr("%1 × %2 (not edited here)").arg(fromStd(control.elementType), sizes.join(QStringLiteral(" × ")));
}

QString rangeHint(const DeviceControl& control)
{
    switch (control.kind) {
    case ControlKind::Integer:
    case ControlKind::Integer64:
        return QObject::tr("From %1 to %2 in steps of %3; default %4.")
            .arg(control.minimum)
            .arg(control.maximum)
            .arg(control.step)
            .arg(control.defaultValue);
    case ControlKind::Bitmask:
        return QObject::tr("Bits %1 may be set; default %2.").arg(hex(control.maximum), hex(control.defaultValue));
    case ControlKind::String:
        return QObject::tr("%1 to %2 characters.").arg(control.minimum).arg(control.maximum);
    default:
        return {};
    }
}

}  // namespace

QString writeRefusal(ControlWrite result)
{
    return QString::fromStdString(controlRefusal(result));
}

DeviceControlsPanel::DeviceControlsPanel(DeviceControls& controls, QWidget* parent)
    : QWidget(parent), m_controls(controls)
{
    setObjectName(QStringLiteral("deviceControls"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);

    const std::vector<DeviceControl> listed = m_controls.list();
    if (listed.empty()) {
        layout->addWidget(new QLabel(tr("This device has no settings.")));
        return;
    }
    for (const auto& control : listed) {
        auto row = std::make_unique<Row>();
        row->control = control;
        m_rows.push_back(std::move(row));
    }
    // Sections in the order the device names them first; controls in the device's order.
    std::vector<std::string> sections;
    for (const auto& row : m_rows)
        if (std::find(sections.begin(), sections.end(), row->control.section) == sections.end())
            sections.push_back(row->control.section);
    auto* tabs = new QTabWidget;
    tabs->setObjectName(QStringLiteral("controlClasses"));
    for (const auto& title : sections) {
        std::vector<const DeviceControl*> inSection;
        for (const auto& row : m_rows)
            if (row->control.section == title)
                inSection.push_back(&row->control);
        tabs->addTab(section(inSection), fromStd(title));
    }
    layout->addWidget(tabs, 1);

    auto* reset = new QPushButton(tr("Reset to Defaults"));
    reset->setObjectName(QStringLiteral("resetToDefaults"));
    connect(reset, &QPushButton::clicked, this, &DeviceControlsPanel::resetToDefaults);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(reset);
    layout->addLayout(buttons);

    std::vector<std::uint32_t> ids;
    for (const auto& row : m_rows)
        ids.push_back(row->control.id);
    const int descriptor = m_controls.watch(ids);
    if (descriptor >= 0) {
        m_changes = std::make_unique<QSocketNotifier>(descriptor, QSocketNotifier::Exception);
        connect(m_changes.get(), &QSocketNotifier::activated, this, &DeviceControlsPanel::followChanges);
    } else {
        connect(&m_changePoll, &QTimer::timeout, this, &DeviceControlsPanel::followChanges);
        m_changePoll.start(ChangePollMs);
    }
    const bool anyVolatile = std::any_of(m_rows.begin(), m_rows.end(), [](const auto& row) { return row->control.isVolatile; });
    if (anyVolatile) {
        connect(&m_volatileRefresh, &QTimer::timeout, this, &DeviceControlsPanel::refreshVolatile);
        m_volatileRefresh.start(VolatileRefreshMs);
    }
}

DeviceControlsPanel::~DeviceControlsPanel()
{
    // The notifier goes before the subscriptions that feed it.
    m_changes.reset();
    m_controls.unwatch();
}

QWidget* DeviceControlsPanel::section(std::vector<const DeviceControl*> controls)
{
    auto* form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    for (const DeviceControl* control : controls) {
        Row& row = *rowFor(control->id);
        const QString name = fromStd(control->name);
        row.label = new QLabel(name + QLatin1Char(':'));
        row.status = new QLabel;
        row.status->setObjectName(fromStd(control->key) + QStringLiteral("Status"));
        row.status->setWordWrap(true);
        row.status->setVisible(false);
        QWidget* editor = editorFor(row);
        // A screen reader names each editor after its control, not after the tab it is in.
        row.label->setBuddy(row.editor);
        row.editor->setAccessibleName(name);
        if (row.spin)
            row.spin->setAccessibleName(name);
        auto* line = new QHBoxLayout;
        line->addWidget(editor, 1);
        line->addWidget(row.status);
        form->addRow(row.label, line);
        show(row, row.control);
    }
    auto* page = new QWidget;
    page->setLayout(form);
    // A class with many controls scrolls; it is never narrower than its labels and editors.
    auto* scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidget(page);
    scroll->setMinimumWidth(page->minimumSizeHint().width() + scroll->verticalScrollBar()->sizeHint().width());
    return scroll;
}

QWidget* DeviceControlsPanel::editorFor(Row& row)
{
    const DeviceControl& control = row.control;
    const QString key = fromStd(control.key);
    Row* target = &row;
    switch (control.kind) {
    case ControlKind::Integer: {
        auto* box = new QWidget;
        auto* line = new QHBoxLayout(box);
        line->setContentsMargins(0, 0, 0, 0);
        row.slider = new QSlider(Qt::Horizontal);
        row.slider->setObjectName(key);
        row.slider->setRange(toInt(control.minimum), toInt(control.maximum));
        const int step = static_cast<int>(std::clamp<std::uint64_t>(control.step, 1, std::numeric_limits<int>::max()));
        row.slider->setSingleStep(step);
        row.slider->setPageStep(std::max<int>(step, toInt((control.maximum - control.minimum) / 10)));
        row.spin = new QSpinBox;
        row.spin->setObjectName(key + QStringLiteral("Value"));
        row.spin->setRange(toInt(control.minimum), toInt(control.maximum));
        row.spin->setSingleStep(step);
        row.spin->setKeyboardTracking(false);
        auto* marked = new QLabel(tr("default %1").arg(control.defaultValue));
        marked->setEnabled(false);
        line->addWidget(row.slider, 1);
        line->addWidget(row.spin);
        line->addWidget(marked);
        connect(row.slider, &QSlider::valueChanged, this, [this, target](int value) {
            const QSignalBlocker quiet(target->spin);
            target->spin->setValue(value);
            write(*target, value);
        });
        connect(row.spin, &QSpinBox::valueChanged, this, [this, target](int value) {
            const QSignalBlocker quiet(target->slider);
            target->slider->setValue(value);
            write(*target, value);
        });
        // What the driver made of the last value dragged to (its step, its clamping).
        connect(row.slider, &QSlider::sliderReleased, this, [this, target] { refresh(*target); });
        row.editor = row.slider;
        return box;
    }
    case ControlKind::Boolean:
        row.check = new QCheckBox;
        row.check->setObjectName(key);
        connect(row.check, &QCheckBox::clicked, this, [this, target](bool on) { write(*target, on ? 1 : 0); });
        row.editor = row.check;
        return row.check;
    case ControlKind::Menu:
    case ControlKind::IntegerMenu:
        row.menu = new QComboBox;
        row.menu->setObjectName(key);
        for (const auto& entry : control.menu)
            row.menu->addItem(fromStd(entry.label), QVariant::fromValue<qlonglong>(entry.index));
        connect(row.menu, &QComboBox::activated, this, [this, target](int position) {
            write(*target, target->menu->itemData(position).toLongLong());
        });
        row.editor = row.menu;
        return row.menu;
    case ControlKind::Button: {
        auto* button = new QPushButton(fromStd(control.name));
        button->setObjectName(key);
        connect(button, &QPushButton::clicked, this, [this, target] { write(*target, 1); });
        row.editor = button;
        return button;
    }
    case ControlKind::Integer64:
    case ControlKind::Bitmask:
    case ControlKind::String: {
        row.line = new QLineEdit;
        row.line->setObjectName(key);
        if (control.kind == ControlKind::Integer64) {
            row.line->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("-?[0-9]{1,19}")), row.line));
        } else if (control.kind == ControlKind::Bitmask) {
            row.line->setValidator(
                new QRegularExpressionValidator(QRegularExpression(QStringLiteral("(0[xX])?[0-9a-fA-F]{1,8}")), row.line));
        } else {
            row.line->setMaxLength(toInt(std::max<std::int64_t>(control.maximum, 0)));
        }
        row.line->setToolTip(rangeHint(control));
        connect(row.line, &QLineEdit::editingFinished, this, [this, target] {
            if (!target->line->isModified())
                return;
            target->line->setModified(false);
            const QString typed = target->line->text();
            if (target->control.kind == ControlKind::String)
                return writeText(*target, typed);
            bool ok = false;
            const qlonglong value = target->control.kind == ControlKind::Bitmask
                ? qlonglong(typed.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) ? typed.mid(2).toUInt(&ok, 16) : typed.toUInt(&ok, 16))
                : typed.toLongLong(&ok);
            if (!ok)
                return written(*target, ControlWrite::OutOfRange);
            write(*target, value);
        });
        row.editor = row.line;
        return row.line;
    }
    case ControlKind::Compound:
        row.fixed = new QLabel(describeCompound(control));
        row.fixed->setObjectName(key);
        row.editor = row.fixed;
        return row.fixed;
    }
    return new QWidget;
}

DeviceControlsPanel::Row* DeviceControlsPanel::rowFor(std::uint32_t id)
{
    for (const auto& row : m_rows)
        if (row->control.id == id)
            return row.get();
    return nullptr;
}

void DeviceControlsPanel::show(Row& row, const DeviceControl& control)
{
    row.control = control;
    const bool editable = control.writable() && !control.inactive && !control.grabbed;
    row.editor->setEnabled(editable);
    if (row.slider)
        row.spin->setEnabled(editable);
    QString why;
    if (control.readOnly)
        why = tr("Read-only.");
    else if (control.grabbed)
        why = tr("Held while the picture streams.");
    else if (control.inactive)
        why = tr("Not in effect while its automatic mode is on.");
    const QString hint = rangeHint(control);
    row.editor->setToolTip(hint.isEmpty() ? why : why.isEmpty() ? hint : why + QLatin1Char(' ') + hint);

    if (!control.hasValue)
        return;
    if (row.slider) {
        const QSignalBlocker quietSlider(row.slider);
        const QSignalBlocker quietSpin(row.spin);
        row.slider->setValue(toInt(control.value));
        row.spin->setValue(toInt(control.value));
    } else if (row.check) {
        row.check->setChecked(control.value != 0);
    } else if (row.menu) {
        const QSignalBlocker quiet(row.menu);
        row.menu->setCurrentIndex(row.menu->findData(QVariant::fromValue<qlonglong>(control.value)));
    } else if (row.line) {
        const QSignalBlocker quiet(row.line);
        row.line->setText(control.kind == ControlKind::String    ? fromStd(control.text)
                          : control.kind == ControlKind::Bitmask ? hex(control.value)
                                                                 : QString::number(control.value));
        row.line->setModified(false);
    }
}

void DeviceControlsPanel::write(Row& row, std::int64_t value)
{
    written(row, m_controls.write(row.control.id, value));
}

void DeviceControlsPanel::writeText(Row& row, const QString& text)
{
    written(row, m_controls.writeText(row.control.id, text.toStdString()));
}

void DeviceControlsPanel::written(Row& row, ControlWrite result)
{
    row.status->setText(writeRefusal(result));
    row.status->setVisible(result != ControlWrite::Applied);
    // What the driver made of the value (its step, its clamping), and a refused one not left
    // on screen as if it had been taken; a slider being dragged is read again when let go.
    if (!(row.slider && row.slider->isSliderDown()))
        refresh(row);
}

void DeviceControlsPanel::refresh(Row& row)
{
    if (const auto control = m_controls.read(row.control.id)) {
        show(row, *control);
        return;
    }
    row.editor->setEnabled(false);
    row.status->setText(writeRefusal(ControlWrite::Gone));
    row.status->setVisible(true);
}

void DeviceControlsPanel::followChanges()
{
    const std::vector<std::uint32_t> changed = m_controls.changes();
    for (const std::uint32_t id : changed)
        if (Row* row = rowFor(id); row && !row->held())
            refresh(*row);
    // A node that was pulled out polls as ready for ever with nothing to take: rather than
    // spin on it, the page goes on asking now and then.
    m_emptyWakeups = changed.empty() && m_changes ? m_emptyWakeups + 1 : 0;
    if (m_emptyWakeups > MaxEmptyWakeups) {
        m_changes.reset();
        connect(&m_changePoll, &QTimer::timeout, this, &DeviceControlsPanel::followChanges, Qt::UniqueConnection);
        m_changePoll.start(ChangePollMs);
    }
}

void DeviceControlsPanel::refreshVolatile()
{
    for (const auto& row : m_rows)
        if (row->control.isVolatile && !row->held())
            refresh(*row);
}

void DeviceControlsPanel::resetToDefaults()
{
    for (const auto& row : m_rows) {
        row->status->clear();
        row->status->setVisible(false);
    }
    const auto refused = m_controls.resetToDefaults();
    for (const auto& row : m_rows)
        refresh(*row);
    for (const auto& [id, result] : refused) {
        if (Row* row = rowFor(id)) {
            row->status->setText(writeRefusal(result));
            row->status->setVisible(true);
        }
    }
}

}  // namespace capture
