#pragma once

#include "follow/DatagramReceiver.h"
#include "web/ConnectionGuard.h"

#include <QHostAddress>
#include <QString>
#include <QStringList>

#include <variant>

namespace korvo::web {

/// How korvo-web was asked to run.
struct WebOptions
{
    follow::DatagramReceiver::Options clock; ///< the clock's port and, if given, its only accepted source
    QHostAddress listen{QHostAddress::Any};
    quint16 httpPort = 8080;
    Limits limits;
    bool verbose = false;
};

/// --help was asked for: the text to print, and nothing to run.
struct HelpText
{
    QString text;
};

/// What is wrong with the command line, in a sentence that names the option.
struct OptionError
{
    QString message;
};

/// Reads korvo-web's command line (arguments[0] is the program). Never exits and prints nothing.
[[nodiscard]] std::variant<WebOptions, HelpText, OptionError> parseWebOptions(const QStringList& arguments);

} // namespace korvo::web
