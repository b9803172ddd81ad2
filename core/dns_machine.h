#pragma once
// The machine's DNS server, for the DNSBL queries when the server is automatic.

#include <QByteArray>
#include <QString>

// First IPv4 "nameserver" of the resolver configuration, dotted decimal; empty
// when the file is missing or names none (IPv6 servers are skipped).
QByteArray PremierServeurDNS(const QString& resolvConf = QStringLiteral("/etc/resolv.conf"));
