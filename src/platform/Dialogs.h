#pragma once
// Every message box and file dialog of the program goes through this seam, so
// tests can answer them and read their exact texts.
#include <QList>
#include <QString>
#include <functional>
#include <optional>

namespace mk {

enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MessageIcon { None, Exclamation, Information, Critical };
enum class MessageAnswer { Ok, Cancel, Yes, No };

/// Title shown on message boxes that carry "the application's title".
inline QString applicationTitle() { return QStringLiteral("MarionetteKit"); }

struct FileDialogRequest {
    QString title;
    /// Pairs of description and patterns, "|" separated:
    /// "Wave Audio Files  *.wav|*.wav|All Files|*.*".
    QString filter;
    QString fileName;
};

/// A whole number asked for, its effect shown while the user chooses it.
struct NumberRequest {
    QString title;
    QString label;
    int value = 0;
    int minimum = 0;
    int maximum = 100;
    int step = 1;
    QString suffix;
    /// Called with the first value and with every value the user tries, so
    /// the caller can show what it would do; the caller undoes it on a cancel.
    std::function<void(int)> preview;
};

class Dialogs {
public:
    virtual ~Dialogs() = default;
    /// Texts separate lines with a carriage return (character 13).
    virtual MessageAnswer message(const QString& text, const QString& title,
                                  MessageButtons buttons, MessageIcon icon) = 0;
    /// The chosen path, or nothing when the user cancelled.
    virtual std::optional<QString> openFile(const FileDialogRequest& request) = 0;
    virtual std::optional<QString> saveFile(const FileDialogRequest& request) = 0;
    /// The number chosen, or nothing when the user cancelled.
    virtual std::optional<int> number(const NumberRequest& request) = 0;
};

/// Answers from a script and records what was asked.
class ScriptedDialogs : public Dialogs {
public:
    struct Message {
        QString text;
        QString title;
        MessageButtons buttons;
        MessageIcon icon;
    };
    QList<Message> messages;
    QList<FileDialogRequest> fileRequests;
    /// Answers handed out in order; when empty, the first button's answer.
    QList<MessageAnswer> answers;
    /// Paths handed out in order; an empty string or none left is a cancel.
    QList<QString> paths;
    QList<NumberRequest> numberRequests;
    /// Numbers handed out in order (each one previewed first); none or none
    /// left is a cancel.
    QList<std::optional<int>> numbers;

    MessageAnswer message(const QString& text, const QString& title,
                          MessageButtons buttons, MessageIcon icon) override;
    std::optional<QString> openFile(const FileDialogRequest& request) override;
    std::optional<QString> saveFile(const FileDialogRequest& request) override;
    std::optional<int> number(const NumberRequest& request) override;

private:
    std::optional<QString> nextPath(const FileDialogRequest& request);
};

/// "Sentence" CR number " " description: how every failing command reports.
QString failureText(const QString& sentence, int number, const QString& description);

} // namespace mk
