#pragma once
// A throw-away certificate authority for the TLS tests, made with the openssl
// command in a temporary folder: server certificates it signs (valid or
// expired) and self-signed ones, each as a PEM certificate and key.

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace testsupport {

class TAutoriteTest {
public:
    struct TCertificat {
        QString certificat; // PEM file
        QString cle;        // PEM file, no pass phrase
        bool ok = false;
    };

    TAutoriteTest(); // the authority itself ("ca.pem")
    bool valide() const { return m_valide; }
    const QString& erreur() const { return m_erreur; }
    QString ca() const { return m_dir.filePath(QStringLiteral("ca.pem")); }
    QString dossier() const { return m_dir.path(); }

    // `noms` are subjectAltName entries ("DNS:localhost", "IP:127.0.0.2").
    TCertificat signe(const QString& nom, const QStringList& noms, bool expire = false);
    TCertificat autoSigne(const QString& nom, const QStringList& noms);

private:
    bool openssl(const QStringList& arguments);
    QTemporaryDir m_dir;
    bool m_valide = false;
    QString m_erreur;
};

} // namespace testsupport
