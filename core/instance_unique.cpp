#include "core/instance_unique.h"

#include "core/trace.h"

#include <QCryptographicHash>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

#include <unistd.h>

TInstanceUnique::TInstanceUnique(const QString& repertoireTravail, QObject* parent)
    : QObject(parent) {
    QString home = QFileInfo(repertoireTravail).canonicalFilePath();
    if (home.isEmpty()) home = QDir::cleanPath(QDir(repertoireTravail).absolutePath());
    const QByteArray empreinte =
        QCryptographicHash::hash(home.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    m_nom =
        QStringLiteral("MUTEX_Kelvarin-%1-%2").arg(::getuid()).arg(QString::fromLatin1(empreinte));
    // The lock lies in the home, where nothing cleans it away under a long run;
    // in the temporary directory only when the home cannot be written.
    const QFileInfo rep(home);
    m_cheminVerrou = rep.isDir() && rep.isWritable()
                         ? QDir(home).filePath(QStringLiteral(".kelvarin.lock"))
                         : QDir(QDir::tempPath()).filePath(m_nom + QStringLiteral(".lock"));
}

TInstanceUnique::~TInstanceUnique() {
    if (m_serveur) m_serveur->close();
}

bool TInstanceUnique::InstanceDejaLancee(int delaiMs) {
    m_verrou = std::make_unique<QLockFile>(m_cheminVerrou);
    // A lock left by a killed copy names a dead process: QLockFile takes it over.
    m_verrou->setStaleLockTime(0);
    if (m_verrou->tryLock(0)) {
        Ecouter();
        return false;
    }
    if (m_verrou->error() != QLockFile::LockFailedError) {
        // No usable lock (temporary directory not writable): run rather than refuse to start.
        TraceException(u"InstanceDejaLancee", m_cheminVerrou);
        m_verrou.reset();
        return false;
    }
    m_verrou.reset();
    Signaler(delaiMs);
    return true;
}

void TInstanceUnique::Ecouter() {
    m_serveur = new QLocalServer(this);
    m_serveur->setSocketOptions(QLocalServer::UserAccessOption);
    // We hold the lock, so a socket file of that name is a leftover.
    QLocalServer::removeServer(m_nom);
    if (!m_serveur->listen(m_nom)) {
        TraceException(u"InstanceDejaLancee", m_serveur->errorString());
        return;
    }
    connect(m_serveur, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* s = m_serveur->nextPendingConnection()) {
            connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
            connect(s, &QLocalSocket::readyRead, this, [this, s] {
                Garde(u"OnSignalInstance", [this, s] {
                    const QByteArray recu = s->readAll();
                    if (!recu.contains(kMessage)) return;
                    s->write("1\n");
                    if (OnSignalInstance) OnSignalInstance();
                });
            });
        }
    });
}

// The first copy answers "1"; a copy that hangs or is gone costs at most the delay.
bool TInstanceUnique::Signaler(int delaiMs) {
    QLocalSocket s;
    QEventLoop boucle;
    bool repondu = false;
    QTimer delai;
    delai.setSingleShot(true);
    connect(&delai, &QTimer::timeout, &boucle, &QEventLoop::quit);
    connect(&s, &QLocalSocket::connected, &boucle, [&s] {
        s.write(kMessage);
        s.write("\n");
    });
    connect(&s, &QLocalSocket::readyRead, &boucle, [&] {
        repondu = true;
        boucle.quit();
    });
    connect(&s, &QLocalSocket::errorOccurred, &boucle, &QEventLoop::quit);
    delai.start(delaiMs);
    s.connectToServer(m_nom);
    if (s.state() != QLocalSocket::UnconnectedState && !repondu) boucle.exec();
    s.abort();
    return repondu;
}
