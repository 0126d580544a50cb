#include "status/broker_settings.h"

#include "common/secret_file.h"

#include <QSettings>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <unistd.h>

namespace marlow::status {

namespace {

Result<BrokerAccess> AddressOf(const std::string& address, bool tls) {
    const auto refuse = [&] {
        return Failure{"the status broker \"" + address +
                       "\" is no host:port (as broker.example:1883, 10.0.0.5:1883 or "
                       "[fd00::5]:1883)"};
    };
    std::string host = address;
    std::string port;
    if (address.starts_with('[')) {
        const std::size_t close = address.find(']');
        if (close == std::string::npos)
            return refuse();
        host = address.substr(1, close - 1);
        const std::string rest = address.substr(close + 1);
        if (!rest.empty() && !rest.starts_with(':'))
            return refuse();
        port = rest.empty() ? std::string() : rest.substr(1);
        if (rest == ":")
            return refuse();
    } else if (const std::size_t colon = address.rfind(':'); colon != std::string::npos) {
        if (address.find(':') != colon) // an IPv6 address wants its brackets
            return refuse();
        host = address.substr(0, colon);
        port = address.substr(colon + 1);
        if (port.empty())
            return refuse();
    }
    if (host.empty() || host.find_first_of(" \t/") != std::string::npos)
        return refuse();
    BrokerAccess access{.host = host, .port = tls ? kTlsPort : kPlainPort};
    if (!port.empty()) {
        int number = 0;
        const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), number);
        if (error != std::errc() || end != port.data() + port.size() || number < 1 ||
            number > 65535)
            return refuse();
        access.port = number;
    }
    return access;
}

} // namespace

BrokerSettings ReadBrokerSettings(const QSettings& store) {
    const auto value = [&](const char* key) {
        return store.value(QLatin1String(key)).toString().trimmed().toStdString();
    };
    return {value("StatusBroker"), value("StatusBrokerCaFile"), value("StatusBrokerPasswordFile")};
}

std::string BrokerAccess::Place() const {
    const bool v6 = host.find(':') != std::string::npos;
    return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

Result<BrokerAccess> ResolveBroker(const BrokerSettings& settings) {
    if (settings.address.empty())
        return Failure{"no status broker is named (the setting StatusBroker, or --status-broker "
                       "HOST:PORT)"};
    Result<BrokerAccess> access = AddressOf(settings.address, !settings.caFile.empty());
    if (!access)
        return access;
    if (!settings.caFile.empty()) {
        if (::access(settings.caFile.c_str(), R_OK) != 0)
            return Failure{"the status broker's CA file " + settings.caFile + " cannot be read (" +
                           std::strerror(errno) + ")"};
        access->caFile = settings.caFile;
    }
    if (!settings.passwordFile.empty()) {
        const Result<std::string> line = ReadSecretLine(settings.passwordFile, "user:password");
        if (!line)
            return Failure{line.Error()};
        const std::size_t colon = line->find(':');
        if (colon == std::string::npos || colon == 0)
            return Failure{"the password file " + settings.passwordFile +
                           " holds no user; put user:password on its first line"};
        access->user = line->substr(0, colon);
        access->password = line->substr(colon + 1);
    }
    return access;
}

} // namespace marlow::status
