#pragma once
// The facts the About box shows about this machine: the system's name, its
// memory, the free space of the installation folder's disk.

#include <QByteArray>
#include <QString>

// PRETTY_NAME of an os-release text ("NAME VERSION" without it; empty when
// neither is there). Values may be quoted.
QString NomSystemeDepuisOsRelease(const QByteArray& osRelease);
// From /etc/os-release (then /usr/lib/os-release); "Linux" when unreadable.
QString NomSysteme();
// MemTotal of a /proc/meminfo text, in kilobytes (0 when absent).
qint64 MemoireDepuisMeminfo(const QByteArray& meminfo);
qint64 MemoireTotaleKo();

struct TEspaceDisque {
    qint64 LibreKo = 0;
    qint64 TotalKo = 0;
    bool Valide = false;
};
TEspaceDisque EspaceDisque(const QString& repertoire);
