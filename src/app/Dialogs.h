#pragma once
// The small windows around the main window: splash screen, about box and the
// progress dialog shared by saving, opening and the export.
#include <QDialog>
#include <QWidget>
#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

class splashScreen : public QWidget {
    Q_OBJECT
public:
    /// `loadMain` creates the main window; it runs when Timer1 fires.
    explicit splashScreen(std::function<QWidget*()> loadMain, QWidget* parent = nullptr);
    QTimer* Timer1() const { return m_timer; }

private:
    void timerFired();
    std::function<QWidget*()> m_loadMain;
    QTimer* m_timer;
};

class about : public QDialog {
    Q_OBJECT
public:
    /// `details`: a line under the version (how the show engine runs).
    explicit about(QWidget* parent = nullptr, const QString& details = {});
};

class convertAudio : public QDialog {
    Q_OBJECT
public:
    explicit convertAudio(QWidget* parent = nullptr);
    QLabel* stageLabel() const { return m_stage; }
    QLabel* fileLabel() const { return m_file; }
    QLabel* percentLabel() const { return m_percent; }
    QProgressBar* ProgressBar() const { return m_bar; }
    QPushButton* Command1() const { return m_cancel; }

private:
    QLabel* m_stage;
    QLabel* m_file;
    QLabel* m_percent;
    QProgressBar* m_bar;
    QPushButton* m_cancel;
};
