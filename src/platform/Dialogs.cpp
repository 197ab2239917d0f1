#include "platform/Dialogs.h"

namespace mk {

MessageAnswer ScriptedDialogs::message(const QString& text, const QString& title,
                                       MessageButtons buttons, MessageIcon icon)
{
    messages.append({text, title, buttons, icon});
    if (!answers.isEmpty())
        return answers.takeFirst();
    switch (buttons) {
    case MessageButtons::Ok:
    case MessageButtons::OkCancel:
        return MessageAnswer::Ok;
    case MessageButtons::YesNo:
    case MessageButtons::YesNoCancel:
        return MessageAnswer::Yes;
    }
    return MessageAnswer::Ok;
}

std::optional<QString> ScriptedDialogs::nextPath(const FileDialogRequest& request)
{
    fileRequests.append(request);
    if (paths.isEmpty())
        return std::nullopt;
    QString p = paths.takeFirst();
    if (p.isEmpty())
        return std::nullopt;
    return p;
}

std::optional<QString> ScriptedDialogs::openFile(const FileDialogRequest& request) { return nextPath(request); }
std::optional<QString> ScriptedDialogs::saveFile(const FileDialogRequest& request) { return nextPath(request); }

std::optional<int> ScriptedDialogs::number(const NumberRequest& request)
{
    numberRequests.append(request);
    if (request.preview)
        request.preview(request.value);
    const std::optional<int> answer = numbers.isEmpty() ? std::nullopt : numbers.takeFirst();
    if (answer && request.preview)
        request.preview(*answer);
    return answer;
}

QString failureText(const QString& sentence, int number, const QString& description)
{
    return sentence + QChar(13) + QString::number(number) + QLatin1Char(' ') + description;
}

} // namespace mk
