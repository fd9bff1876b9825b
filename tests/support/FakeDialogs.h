#pragma once

#include "platform/Dialogs.h"

#include <QStringList>

#include <deque>

namespace korvo::fakes {

/// Scripted dialogs: each call takes the next answer of its kind and records what was asked.
class FakeDialogs final : public platform::Dialogs
{
public:
    Reply askYesNo(const QString& text) override { return ask(questions, text, yesNo, Reply::Yes); }
    QString inputBox(const QString& prompt) override { return ask(prompts, prompt, inputs, QString()); }
    QString openFileName(const QString& title, const QString& filter) override
    {
        return ask(fileDialogs, title + QLatin1Char('|') + filter, openNames, QString());
    }
    QString saveFileName(const QString& title, const QString& filter) override
    {
        return ask(fileDialogs, title + QLatin1Char('|') + filter, saveNames, QString());
    }
    void warn(const QString& text) override { warnings.append(text); }

    std::deque<Reply> yesNo;
    std::deque<QString> inputs, openNames, saveNames;
    QStringList questions, prompts, fileDialogs, warnings;

private:
    template <class T>
    static T ask(QStringList& asked, const QString& text, std::deque<T>& answers, T fallback)
    {
        asked.append(text);
        if (answers.empty())
            return fallback;
        T answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

} // namespace korvo::fakes
