#include "tests/support/autorite_test.h"

#include <QFile>
#include <QProcess>

namespace testsupport {

TAutoriteTest::TAutoriteTest() {
    m_valide = m_dir.isValid() &&
               openssl({QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                        QStringLiteral("rsa:2048"), QStringLiteral("-nodes"),
                        QStringLiteral("-keyout"), m_dir.filePath(QStringLiteral("ca.key")),
                        QStringLiteral("-out"), ca(), QStringLiteral("-days"), QStringLiteral("30"),
                        QStringLiteral("-subj"), QStringLiteral("/CN=Kelvarin test authority")});
}

bool TAutoriteTest::openssl(const QStringList& arguments) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("openssl"), arguments);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        m_erreur = QStringLiteral("openssl %1: %2 %3")
                       .arg(arguments.join(QLatin1Char(' ')), p.errorString(),
                            QString::fromLocal8Bit(p.readAll()));
        return false;
    }
    return true;
}

TAutoriteTest::TCertificat TAutoriteTest::signe(const QString& nom, const QStringList& noms,
                                                bool expire) {
    TCertificat c;
    c.certificat = m_dir.filePath(nom + QStringLiteral(".pem"));
    c.cle = m_dir.filePath(nom + QStringLiteral(".key"));
    const QString demande = m_dir.filePath(nom + QStringLiteral(".csr"));
    const QString extensions = m_dir.filePath(nom + QStringLiteral(".ext"));
    QFile ext(extensions);
    if (!ext.open(QIODevice::WriteOnly) ||
        ext.write("subjectAltName=" + noms.join(QLatin1Char(',')).toLatin1() + '\n') <= 0)
        return c;
    ext.close();
    if (!openssl({QStringLiteral("req"), QStringLiteral("-newkey"), QStringLiteral("rsa:2048"),
                  QStringLiteral("-nodes"), QStringLiteral("-keyout"), c.cle,
                  QStringLiteral("-out"), demande, QStringLiteral("-subj"),
                  QStringLiteral("/CN=") + nom}))
        return c;
    // A negative validity ends before it starts: expired from the outset.
    c.ok = openssl({QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"), demande,
                    QStringLiteral("-CA"), ca(), QStringLiteral("-CAkey"),
                    m_dir.filePath(QStringLiteral("ca.key")), QStringLiteral("-CAcreateserial"),
                    QStringLiteral("-out"), c.certificat, QStringLiteral("-days"),
                    expire ? QStringLiteral("-1") : QStringLiteral("30"),
                    QStringLiteral("-extfile"), extensions});
    return c;
}

TAutoriteTest::TCertificat TAutoriteTest::autoSigne(const QString& nom, const QStringList& noms) {
    TCertificat c;
    c.certificat = m_dir.filePath(nom + QStringLiteral(".pem"));
    c.cle = m_dir.filePath(nom + QStringLiteral(".key"));
    c.ok = openssl({QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                    QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-keyout"),
                    c.cle, QStringLiteral("-out"), c.certificat, QStringLiteral("-days"),
                    QStringLiteral("30"), QStringLiteral("-subj"), QStringLiteral("/CN=") + nom,
                    QStringLiteral("-addext"),
                    QStringLiteral("subjectAltName=") + noms.join(QLatin1Char(','))});
    return c;
}

} // namespace testsupport
