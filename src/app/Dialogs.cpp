#include "app/Dialogs.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "app/Artwork.h"

splashScreen::splashScreen(std::function<QWidget*()> loadMain, QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint), m_loadMain(std::move(loadMain))
{
    setObjectName(QStringLiteral("splashScreen"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto* picture = new QLabel(this);
    picture->setPixmap(mk::artwork::splashPicture());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(picture);
    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("Timer1"));
    m_timer->setSingleShot(true);
    m_timer->setInterval(5000);
    connect(m_timer, &QTimer::timeout, this, &splashScreen::timerFired);
    m_timer->start();
}

void splashScreen::timerFired()
{
    QWidget* main = m_loadMain();
    if (main)
        main->show();
    hide();
    close(); // deletes the splash screen and its timer
}

about::about(QWidget* parent, const QString& details) : QDialog(parent)
{
    setObjectName(QStringLiteral("about"));
    setWindowTitle(QStringLiteral("About MarionetteKit"));
    setWindowIcon(mk::artwork::applicationIcon());
    auto* label = new QLabel(QStringLiteral("MarionetteKit version " MK_VERSION), this);
    label->setObjectName(QStringLiteral("Label1"));
    label->setAlignment(Qt::AlignCenter);
    auto* logo = new QLabel(this);
    logo->setObjectName(QStringLiteral("logo"));
    logo->setPixmap(mk::artwork::logo(64));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(logo, 0, Qt::AlignCenter);
    layout->addWidget(label);
    if (!details.isEmpty()) {
        auto* more = new QLabel(details, this);
        more->setObjectName(QStringLiteral("details"));
        more->setAlignment(Qt::AlignCenter);
        layout->addWidget(more);
    }
    layout->addWidget(buttons);
    // The box is never narrower than what it shows.
    layout->setSizeConstraint(QLayout::SetMinimumSize);
}

convertAudio::convertAudio(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("convertAudio"));
    setWindowTitle(QStringLiteral("Converting for CD playback"));
    m_stage = new QLabel(QStringLiteral("Resampling audio file"), this);
    m_stage->setObjectName(QStringLiteral("stageLabel"));
    m_file = new QLabel(QStringLiteral("Filename is "), this);
    m_file->setObjectName(QStringLiteral("fileLabel"));
    m_percent = new QLabel(QStringLiteral("0.00%"), this);
    m_percent->setObjectName(QStringLiteral("percentLabel"));
    m_bar = new QProgressBar(this);
    m_bar->setObjectName(QStringLiteral("ProgressBar"));
    m_bar->setRange(0, 100);
    m_bar->setValue(0);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("Command1"));
    // Hidden, not closed: the export watches the visibility to see a cancel.
    connect(m_cancel, &QPushButton::clicked, this, &QWidget::hide);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_stage);
    layout->addWidget(m_file);
    layout->addWidget(m_percent);
    layout->addWidget(m_bar);
    layout->addWidget(m_cancel, 0, Qt::AlignRight);
    setMinimumWidth(360);
}
