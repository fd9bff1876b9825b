#pragma once

#include "platform/Dialogs.h"

#include <QString>
#include <QStringList>

#include <deque>

namespace korvo::fakes {

/// Scripted dialogs: each call takes the next answer of its kind and records what was asked.
class FakeDialogs final : public platform::Dialogs
{
public:
    Reply askYesNo(const QString& text) override
    {
        questions.append(text);
        return take(yesNo, Reply::Yes);
    }
    QString inputBox(const QString& prompt) override
    {
        prompts.append(prompt);
        return take(inputs, QString());
    }
    QString openFileName(const QString& title, const QString& filter) override
    {
        fileDialogs.append(title + QLatin1Char('|') + filter);
        return take(openNames, QString());
    }
    QString saveFileName(const QString& title, const QString& filter) override
    {
        fileDialogs.append(title + QLatin1Char('|') + filter);
        return take(saveNames, QString());
    }
    void warn(const QString& text) override { warnings.append(text); }

    std::deque<Reply> yesNo;
    std::deque<QString> inputs;
    std::deque<QString> openNames;
    std::deque<QString> saveNames;
    QStringList questions;
    QStringList prompts;
    QStringList fileDialogs;
    QStringList warnings;

private:
    template <class T>
    static T take(std::deque<T>& queue, T fallback)
    {
        if (queue.empty())
            return fallback;
        T v = queue.front();
        queue.pop_front();
        return v;
    }
};

} // namespace korvo::fakes
