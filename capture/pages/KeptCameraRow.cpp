#include "KeptCameraRow.h"

#include "capture/devices/KeptCamera.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace capture {

KeptCameraRow::KeptCameraRow(KeptCamera& camera, QWidget* parent) : QWidget(parent), m_camera(camera)
{
    m_keep = new QCheckBox(tr("Keep these settings for this camera"));
    m_keep->setObjectName(QStringLiteral("keepSettings"));
    m_keep->setChecked(m_camera.keeping());
    m_forget = new QPushButton(tr("Forget this camera"));
    m_forget->setObjectName(QStringLiteral("forgetCamera"));
    m_problems = new QLabel;
    m_problems->setObjectName(QStringLiteral("keptProblems"));
    m_problems->setWordWrap(true);
    m_problems->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(m_keep, 1);
    row->addWidget(m_forget);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(row);
    layout->addWidget(m_problems);

    connect(m_keep, &QCheckBox::toggled, this, &KeptCameraRow::keep);
    connect(m_forget, &QPushButton::clicked, this, &KeptCameraRow::forget);
    showProblems();
}

void KeptCameraRow::keep(bool on)
{
    m_camera.setKeeping(on);
    showProblems();
}

void KeptCameraRow::forget()
{
    m_camera.forget();
    const QSignalBlocker quiet(m_keep);
    m_keep->setChecked(false);
    showProblems();
    m_problems->setText(tr("This camera keeps nothing now."));
    m_problems->setVisible(true);
}

void KeptCameraRow::showProblems()
{
    QStringList lines;
    for (const std::string& problem : m_camera.problems())
        lines << QString::fromStdString(problem);
    m_problems->setText(lines.join(QLatin1Char('\n')));
    m_problems->setVisible(!lines.isEmpty());
}

}  // namespace capture
