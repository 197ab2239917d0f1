#include "app/JawDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

namespace {

QDoubleSpinBox* number(QWidget* parent, const QString& name, double lo, double hi, double value, const QString& unit)
{
    auto* b = new QDoubleSpinBox(parent);
    b->setObjectName(name);
    b->setRange(lo, hi);
    b->setDecimals(unit == QLatin1String(" dB") ? 1 : 0);
    b->setValue(value);
    b->setSuffix(unit);
    b->setKeyboardTracking(false);
    return b;
}

QSpinBox* frameBox(QWidget* parent, const QString& name, qint32 last, qint32 value)
{
    auto* b = new QSpinBox(parent);
    b->setObjectName(name);
    b->setRange(0, last);
    b->setValue(value);
    b->setKeyboardTracking(false);
    return b;
}

QWidget* pair(QWidget* parent, QWidget* a, const QString& between, QWidget* b, QWidget* after = nullptr)
{
    auto* w = new QWidget(parent);
    auto* l = new QHBoxLayout(w);
    l->setContentsMargins(0, 0, 0, 0);
    l->addWidget(a);
    l->addWidget(new QLabel(between, w));
    l->addWidget(b);
    if (after)
        l->addWidget(after);
    return w;
}

} // namespace

JawDialog::JawDialog(const QStringList& names, qint32 lastFrame, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("jawFromSound"));
    setWindowTitle(tr("Jaw from Sound"));
    const mk::jaw::Band band;
    const mk::jaw::Shape shape;
    m_servo = new QComboBox(this);
    m_servo->setObjectName(QStringLiteral("servo"));
    for (int i = 0; i < names.size(); ++i)
        m_servo->addItem(QStringLiteral("%1 %2").arg(i).arg(names[i].trimmed()));
    m_low = number(this, QStringLiteral("lowHz"), 20, 2000, band.lowHz, tr(" Hz"));
    m_high = number(this, QStringLiteral("highHz"), 500, 20000, band.highHz, tr(" Hz"));
    m_automatic = new QCheckBox(tr("From the sound"), this);
    m_automatic->setObjectName(QStringLiteral("automatic"));
    m_automatic->setChecked(true);
    m_threshold = number(this, QStringLiteral("thresholdDb"), -120, 0, -45, QStringLiteral(" dB"));
    m_top = number(this, QStringLiteral("topDb"), -120, 0, -21, QStringLiteral(" dB"));
    m_threshold->setEnabled(false);
    m_top->setEnabled(false);
    m_attack = number(this, QStringLiteral("attackMs"), 0, 2000, shape.attackMs, tr(" ms"));
    m_release = number(this, QStringLiteral("releaseMs"), 0, 2000, shape.releaseMs, tr(" ms"));
    m_lead = number(this, QStringLiteral("leadMs"), 0, mk::jaw::kMaxLeadMs, shape.leadMs, tr(" ms"));
    m_closed = new QComboBox(this);
    m_closed->setObjectName(QStringLiteral("closed"));
    m_closed->addItems({tr("at the servo's minimum"), tr("at the servo's maximum")});
    m_from = frameBox(this, QStringLiteral("fromFrame"), lastFrame, 0);
    m_to = frameBox(this, QStringLiteral("toFrame"), lastFrame, lastFrame);
    m_silenceFrom = frameBox(this, QStringLiteral("silenceFrom"), lastFrame, 0);
    m_silenceTo = frameBox(this, QStringLiteral("silenceTo"), lastFrame, std::min<qint32>(lastFrame, 14));
    auto* fromSilence = new QPushButton(tr("Set threshold"), this);
    fromSilence->setObjectName(QStringLiteral("thresholdFromSilence"));
    fromSilence->setToolTip(tr("Just above the loudest of these frames, so that this stretch keeps the jaw closed"));

    auto* form = new QFormLayout;
    form->addRow(tr("Jaw servo:"), m_servo);
    form->addRow(tr("Voice band:"), pair(this, m_low, tr("to"), m_high));
    form->addRow(tr("Levels:"), m_automatic);
    form->addRow(tr("Closed below:"), m_threshold);
    form->addRow(tr("Fully open at:"), m_top);
    form->addRow(tr("Silence at frames:"), pair(this, m_silenceFrom, tr("to"), m_silenceTo, fromSilence));
    form->addRow(tr("Opening (attack):"), m_attack);
    form->addRow(tr("Closing (release):"), m_release);
    form->addRow(tr("Ahead of the sound:"), m_lead);
    form->addRow(tr("Closed:"), m_closed);
    form->addRow(tr("Write frames:"), pair(this, m_from, tr("to"), m_to));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Apply | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("buttons"));
    connect(buttons->button(QDialogButtonBox::Apply), &QPushButton::clicked, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);

    auto shapeNow = [this] {
        if (!m_quiet)
            Q_EMIT shapeChanged();
    };
    for (QDoubleSpinBox* b : {m_threshold, m_top, m_attack, m_release, m_lead})
        connect(b, &QDoubleSpinBox::valueChanged, this, shapeNow);
    for (QSpinBox* b : {m_from, m_to})
        connect(b, &QSpinBox::valueChanged, this, shapeNow);
    for (QComboBox* b : {m_servo, m_closed})
        connect(b, &QComboBox::currentIndexChanged, this, shapeNow);
    connect(m_automatic, &QCheckBox::toggled, this, [this, shapeNow](bool on) {
        m_threshold->setEnabled(!on);
        m_top->setEnabled(!on);
        shapeNow();
    });
    for (QDoubleSpinBox* b : {m_low, m_high})
        connect(b, &QDoubleSpinBox::valueChanged, this, [this] {
            if (!m_quiet)
                Q_EMIT bandChanged();
        });
    connect(fromSilence, &QPushButton::clicked, this, &JawDialog::silenceAsked);
}

JawDialog::Values JawDialog::values() const
{
    Values v;
    v.servo = m_servo->currentIndex();
    v.band = {m_low->value(), std::max(m_high->value(), m_low->value() + 100)};
    if (!m_automatic->isChecked()) {
        v.shape.thresholdDb = m_threshold->value();
        v.shape.topDb = m_top->value();
    }
    v.shape.attackMs = m_attack->value();
    v.shape.releaseMs = m_release->value();
    v.shape.leadMs = m_lead->value();
    v.shape.closedAtMax = m_closed->currentIndex() == 1;
    v.from = std::min(m_from->value(), m_to->value());
    v.to = std::max(m_from->value(), m_to->value());
    return v;
}

void JawDialog::setBand(const mk::jaw::Band& band)
{
    m_quiet = true;
    m_low->setValue(band.lowHz);
    m_high->setValue(band.highHz);
    m_quiet = false;
}

void JawDialog::showAutomatic(const mk::jaw::Range& range)
{
    if (!m_automatic->isChecked())
        return;
    m_quiet = true;
    m_threshold->setValue(range.thresholdDb);
    m_top->setValue(range.topDb);
    m_quiet = false;
}

void JawDialog::setLevels(double thresholdDb, double topDb)
{
    m_quiet = true;
    m_automatic->setChecked(false);
    m_threshold->setValue(thresholdDb);
    m_top->setValue(std::max(topDb, thresholdDb + 1));
    m_quiet = false;
    Q_EMIT shapeChanged();
}

std::pair<qint32, qint32> JawDialog::silence() const
{
    return {std::min(m_silenceFrom->value(), m_silenceTo->value()),
            std::max(m_silenceFrom->value(), m_silenceTo->value())};
}
