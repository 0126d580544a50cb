#pragma once
// The MQTT broker a station tells its slots' states to, and a board reads
// them from. Where it is: the setting `StatusBroker` ("host:port", "host"
// for the usual port, "[::1]:1883" for an IPv6 address), or `marlow-cli
// --status-broker HOST:PORT`. TLS: the setting `StatusBrokerCaFile` names
// the certificate authority (PEM) that signed the broker's certificate;
// given, the connection is TLS and the broker's name is checked. A login:
// the file named by `StatusBrokerPasswordFile`, "user:password" on its first
// line, its owner's alone (mode 0600), never a password in the settings.

#include "common/result.h"

#include <string>

class QSettings;

namespace marlow::status {

struct BrokerSettings {
    std::string address{};      // empty: no broker, nothing is published
    std::string caFile{};       // empty: plain TCP
    std::string passwordFile{}; // empty: no login
};

// `StatusBroker`, `StatusBrokerCaFile` and `StatusBrokerPasswordFile`.
BrokerSettings ReadBrokerSettings(const QSettings& store);

// 1883, 8883 with TLS: the ports IANA gave MQTT.
inline constexpr int kPlainPort = 1883;
inline constexpr int kTlsPort = 8883;

// Everything a connection needs, checked before one is tried.
struct BrokerAccess {
    std::string host{};
    int port = kPlainPort;
    std::string caFile{};
    std::string user{};
    std::string password{};
    // "127.0.0.1:1883", for every text that names the broker.
    std::string Place() const;
};

// Refused, with the reason: an address that is no host:port, a CA file that
// cannot be read, a password file that others may read, that cannot be read
// or holds no "user:password".
Result<BrokerAccess> ResolveBroker(const BrokerSettings& settings);

} // namespace marlow::status
