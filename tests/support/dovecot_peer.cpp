#include "tests/support/dovecot_peer.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {
namespace {

QByteArray nomFichier(const QString& chemin) {
    return QFile::encodeName(chemin);
}

bool ecrireFichier(const QString& chemin, const QByteArray& contenu) {
    QFile f(chemin);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    return f.write(contenu) == contenu.size();
}

void changerProprietaire(const QString& chemin, uid_t uid, gid_t gid) {
    if (::geteuid() != 0) return;
    if (::chown(nomFichier(chemin).constData(), uid, gid) != 0) {
        qWarning("chown %s failed", nomFichier(chemin).constData());
    }
}

// Every directory of the mail tree belongs to the mail user, down to the files.
void changerProprietaireArbre(const QString& racine, uid_t uid, gid_t gid) {
    changerProprietaire(racine, uid, gid);
    QDirIterator it(racine, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        changerProprietaire(it.next(), uid, gid);
}

QString nomUtilisateur(uid_t uid) {
    const passwd* pw = ::getpwuid(uid);
    return pw ? QString::fromLocal8Bit(pw->pw_name) : QString();
}

} // namespace

quint16 portLibre() {
    QTcpServer s;
    if (!s.listen(QHostAddress::LocalHost, 0)) return 0;
    return s.serverPort();
}

TDovecotPeer::TDovecotPeer() {
    if (::geteuid() == 0) {
        const passwd* pw = ::getpwnam("nobody");
        const group* gr = ::getgrnam("nogroup");
        m_uid = pw ? pw->pw_uid : 65534;
        m_gid = gr ? gr->gr_gid : (pw ? pw->pw_gid : 65534);
    } else {
        m_uid = ::getuid();
        m_gid = ::getgid();
    }
    // Dovecot's processes must reach the run directory.
    ::chmod(nomFichier(m_dir.path()).constData(), 0755);
}

TDovecotPeer::~TDovecotPeer() {
    arreter();
}

void TDovecotPeer::ajouterUtilisateur(const QString& login, const QString& motDePasse) {
    m_utilisateurs.append({login, motDePasse});
    QByteArray passwd;
    for (const auto& [l, m] : m_utilisateurs) {
        passwd += l.toUtf8() + ":{PLAIN}" + m.toUtf8() + "::::::\n";
    }
    const QString chemin = m_dir.filePath(QStringLiteral("passwd"));
    ecrireFichier(chemin, passwd);
    ::chmod(nomFichier(chemin).constData(), 0644);
    QDir racine(m_dir.path());
    for (const char* sous : {"new", "cur", "tmp"}) {
        racine.mkpath(QStringLiteral("mail/%1/Maildir/%2").arg(login, QLatin1String(sous)));
    }
    changerProprietaireArbre(m_dir.filePath(QStringLiteral("mail")), m_uid, m_gid);
}

void TDovecotPeer::ajouterMessage(const QString& login, const QByteArray& texte) {
    const QString rep = m_dir.filePath(QStringLiteral("mail/%1/Maildir/new").arg(login));
    QDir().mkpath(rep);
    const qint64 h = m_prochainHorodatage++;
    const QString chemin = QStringLiteral("%1/%2.M%3P1.test")
                               .arg(rep)
                               .arg(h)
                               .arg(h % 1000000, 6, 10, QLatin1Char('0'));
    ecrireFichier(chemin, texte);
    changerProprietaireArbre(m_dir.filePath(QStringLiteral("mail/%1").arg(login)), m_uid, m_gid);
}

void TDovecotPeer::ajouterMessages(const QString& login, const QList<QByteArray>& textes) {
    const QString rep = m_dir.filePath(QStringLiteral("mail/%1/Maildir/new").arg(login));
    QDir().mkpath(rep);
    for (const QByteArray& texte : textes) {
        const qint64 h = m_prochainHorodatage++;
        ecrireFichier(QStringLiteral("%1/%2.M%3P1.test")
                          .arg(rep)
                          .arg(h)
                          .arg(h % 1000000, 6, 10, QLatin1Char('0')),
                      texte);
    }
    changerProprietaireArbre(m_dir.filePath(QStringLiteral("mail/%1").arg(login)), m_uid, m_gid);
}

int TDovecotPeer::nbMessages(const QString& login) const {
    int n = 0;
    for (const char* sous : {"new", "cur"}) {
        n += int(QDir(m_dir.filePath(
                          QStringLiteral("mail/%1/Maildir/%2").arg(login, QLatin1String(sous))))
                     .entryList(QDir::Files)
                     .size());
    }
    return n;
}

QString TDovecotPeer::journal() const {
    QString texte;
    for (const char* nom : {"dovecot.log", "stderr.txt"}) {
        QFile f(m_dir.filePath(QLatin1String(nom)));
        if (f.open(QIODevice::ReadOnly)) {
            texte +=
                QStringLiteral("--- %1\n").arg(QLatin1String(nom)) + QString::fromUtf8(f.readAll());
        }
    }
    return texte;
}

void TDovecotPeer::activerTls(const QString& certificat, const QString& cle, bool exiger) {
    m_certificat = certificat;
    m_cle = cle;
    m_exigerTls = exiger;
    if (exiger) m_adresse = QStringLiteral("127.0.0.2");
}

bool TDovecotPeer::preparer(QString* erreur) {
    if (!m_dir.isValid()) {
        if (erreur) *erreur = QStringLiteral("no temporary directory");
        return false;
    }
    // A restart after tuer() keeps its port, so clients find the server again.
    if (m_port == 0) m_port = portLibre();
    if (m_portPop3s == 0 && !m_certificat.isEmpty()) m_portPop3s = portLibre();
    if (m_port == 0 || (!m_certificat.isEmpty() && m_portPop3s == 0)) {
        if (erreur) *erreur = QStringLiteral("no free port on 127.0.0.1");
        return false;
    }
    const QString run = m_dir.path();
    QDir(run).mkpath(QStringLiteral("base"));
    QDir(run).mkpath(QStringLiteral("state"));
    QString loginUser, internalUser;
    if (::geteuid() == 0) {
        loginUser = ::getpwnam("dovenull") ? QStringLiteral("dovenull") : QStringLiteral("nobody");
        internalUser = ::getpwnam("dovecot") ? QStringLiteral("dovecot") : QStringLiteral("nobody");
    } else {
        loginUser = internalUser = nomUtilisateur(::getuid());
    }
    const QString conf = QStringLiteral("base_dir = %1/base\n"
                                        "state_dir = %1/state\n"
                                        "instance_name = kvtest-%2\n"
                                        "log_path = %1/dovecot.log\n"
                                        "protocols = pop3\n"
                                        "listen = %7\n"
                                        "%8"
                                        "auth_mechanisms = plain login\n"
                                        "auth_failure_delay = 0 secs\n"
                                        "default_login_user = %3\n"
                                        "default_internal_user = %4\n"
                                        "first_valid_uid = 1\n"
                                        "first_valid_gid = 1\n"
                                        "mail_location = maildir:%1/mail/%u/Maildir\n"
                                        "pop3_uidl_format = %08Xu%08Xv\n"
                                        "shutdown_clients = yes\n"
                                        "mail_max_userip_connections = 200\n"
                                        "default_process_limit = 300\n"
                                        "passdb {\n"
                                        "  driver = passwd-file\n"
                                        "  args = scheme=PLAIN username_format=%u %1/passwd\n"
                                        "}\n"
                                        "userdb {\n"
                                        "  driver = static\n"
                                        "  args = uid=%5 gid=%6 home=%1/mail/%u\n"
                                        "}\n"
                                        "service pop3-login {\n"
                                        "  inet_listener pop3 {\n"
                                        "    address = %7\n"
                                        "    port = %2\n"
                                        "  }\n"
                                        "  inet_listener pop3s {\n"
                                        "%9"
                                        "  }\n"
                                        "}\n"
                                        "service imap-login {\n"
                                        "  inet_listener imap {\n"
                                        "    port = 0\n"
                                        "  }\n"
                                        "  inet_listener imaps {\n"
                                        "    port = 0\n"
                                        "  }\n"
                                        "}\n");
    // QString::arg would eat dovecot's own %u/%08Xu: substitute by hand.
    QString texte = conf;
    texte.replace(QStringLiteral("%1"), run);
    texte.replace(QStringLiteral("%2"), QString::number(m_port));
    texte.replace(QStringLiteral("%3"), loginUser);
    texte.replace(QStringLiteral("%4"), internalUser);
    texte.replace(QStringLiteral("%5"), QString::number(m_uid));
    texte.replace(QStringLiteral("%6"), QString::number(m_gid));
    texte.replace(QStringLiteral("%7"), m_adresse);
    if (m_certificat.isEmpty()) {
        texte.replace(QStringLiteral("%8"),
                      QStringLiteral("ssl = no\ndisable_plaintext_auth = no\n"));
        texte.replace(QStringLiteral("%9"), QStringLiteral("    port = 0\n"));
    } else {
        texte.replace(QStringLiteral("%8"),
                      QStringLiteral("ssl = %1\ndisable_plaintext_auth = %2\n"
                                     "ssl_cert = <%3\nssl_key = <%4\n")
                          .arg(m_exigerTls ? QStringLiteral("required") : QStringLiteral("yes"),
                               m_exigerTls ? QStringLiteral("yes") : QStringLiteral("no"),
                               m_certificat, m_cle));
        texte.replace(QStringLiteral("%9"), QStringLiteral("    address = %1\n    port = %2\n"
                                                           "    ssl = yes\n")
                                                .arg(m_adresse)
                                                .arg(m_portPop3s));
    }
    if (!QFileInfo::exists(m_dir.filePath(QStringLiteral("passwd")))) {
        ecrireFichier(m_dir.filePath(QStringLiteral("passwd")), QByteArray());
    }
    if (!ecrireFichier(m_dir.filePath(QStringLiteral("dovecot.conf")), texte.toUtf8())) {
        if (erreur) *erreur = QStringLiteral("cannot write dovecot.conf");
        return false;
    }
    QDir(run).mkpath(QStringLiteral("mail"));
    changerProprietaireArbre(m_dir.filePath(QStringLiteral("mail")), m_uid, m_gid);
    return true;
}

bool TDovecotPeer::demarrer(QString* erreur, int delaiMs) {
    if (m_pid > 0) return true;
    if (!preparer(erreur)) return false;
    const QByteArray conf = nomFichier(m_dir.filePath(QStringLiteral("dovecot.conf")));
    const QByteArray sortie = nomFichier(m_dir.filePath(QStringLiteral("stderr.txt")));
    const pid_t pid = ::fork();
    if (pid < 0) {
        if (erreur) *erreur = QStringLiteral("fork failed");
        return false;
    }
    if (pid == 0) {
        ::setpgid(0, 0); // its own group, so a stop reaches every dovecot process
        const int fd = ::open(sortie.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd >= 0) {
            ::dup2(fd, 1);
            ::dup2(fd, 2);
            ::close(fd);
        }
        const int nul = ::open("/dev/null", O_RDONLY);
        if (nul >= 0) ::dup2(nul, 0);
        const char* exe = "/usr/sbin/dovecot";
        ::execl(exe, exe, "-F", "-c", conf.constData(), static_cast<char*>(nullptr));
        ::execlp("dovecot", "dovecot", "-F", "-c", conf.constData(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::setpgid(pid, pid);
    m_pid = pid;
    if (!attendrePret(delaiMs, erreur)) {
        const QString log = journal();
        arreter();
        if (erreur) *erreur += QStringLiteral("\n") + log;
        return false;
    }
    return true;
}

bool TDovecotPeer::attendrePret(int delaiMs, QString* erreur) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < delaiMs) {
        int statut = 0;
        if (::waitpid(m_pid, &statut, WNOHANG) == m_pid) {
            m_pid = -1;
            if (erreur) *erreur = QStringLiteral("dovecot ended at start (status %1)").arg(statut);
            return false;
        }
        QTcpSocket s;
        s.connectToHost(QHostAddress(m_adresse), m_port);
        if (s.waitForConnected(500) && s.waitForReadyRead(2000)) {
            if (s.readLine().startsWith("+OK")) return true;
        }
        QThread::msleep(50);
    }
    if (erreur)
        *erreur = QStringLiteral("dovecot did not greet on port %1 within %2 ms")
                      .arg(m_port)
                      .arg(delaiMs);
    return false;
}

void TDovecotPeer::attendreFin(int delaiMs) {
    QElapsedTimer t;
    t.start();
    while (m_pid > 0 && t.elapsed() < delaiMs) {
        if (::waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
            m_pid = -1;
            return;
        }
        QThread::msleep(20);
    }
}

void TDovecotPeer::arreter() {
    if (m_pid <= 0) return;
    const pid_t groupe = m_pid;
    ::kill(m_pid, SIGTERM);
    attendreFin(5000);
    // Whatever is left of the group (login or pop3 processes) goes too.
    ::kill(-groupe, SIGKILL);
    if (m_pid > 0) {
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }
}

void TDovecotPeer::tuer() {
    if (m_pid <= 0) return;
    ::kill(-m_pid, SIGKILL);
    ::waitpid(m_pid, nullptr, 0);
    m_pid = -1;
    // The login processes hold the listening socket too and die a moment after
    // the master: a crash is complete only once nothing accepts any more.
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 5000) {
        QTcpSocket s;
        s.connectToHost(QHostAddress(m_adresse), m_port);
        if (!s.waitForConnected(200)) break;
        s.abort();
        QThread::msleep(20);
    }
}

QString dossierCorpus() {
    static QString dossier;
    if (!dossier.isEmpty()) return dossier;
    QProcess p;
    p.start(QStringLiteral("bash"),
            {QStringLiteral(KELVARIN_SOURCE_DIR "/scripts/fetch-corpus.sh")});
    if (!p.waitForFinished(600000) || p.exitCode() != 0) return QString();
    const QList<QByteArray> lignes = p.readAllStandardOutput().trimmed().split('\n');
    if (lignes.isEmpty()) return QString();
    dossier = QString::fromLocal8Bit(lignes.last().trimmed());
    if (!QFileInfo(dossier).isDir()) dossier.clear();
    return dossier;
}

QList<QByteArray> messagesCorpus(int n) {
    QList<QByteArray> resultat;
    const QString racine = dossierCorpus();
    if (racine.isEmpty()) return resultat;
    // Round robin over the groups, so any N mixes ham and spam.
    QList<QStringList> groupes;
    for (const char* g : {"easy-ham-1", "spam-1", "hard-ham-1", "spam-2", "easy-ham-2"}) {
        QStringList fichiers = QDir(racine + QLatin1Char('/') + QLatin1String(g))
                                   .entryList({QStringLiteral("*.txt")}, QDir::Files, QDir::Name);
        for (QString& f : fichiers)
            f = racine + QLatin1Char('/') + QLatin1String(g) + QLatin1Char('/') + f;
        groupes.append(fichiers);
    }
    for (int i = 0; resultat.size() < n; ++i) {
        bool encore = false;
        for (const QStringList& g : groupes) {
            if (i >= g.size() || resultat.size() >= n) continue;
            encore = true;
            QFile f(g.at(i));
            if (!f.open(QIODevice::ReadOnly)) continue;
            QByteArray texte = f.readAll();
            if (texte.startsWith("From ")) {
                const qsizetype fin = texte.indexOf('\n');
                texte = fin < 0 ? QByteArray() : texte.mid(fin + 1);
            }
            resultat.append(texte);
        }
        if (!encore) break;
    }
    return resultat;
}

QList<QPair<QString, QByteArray>> messagesFixturesE2e() {
    QList<QPair<QString, QByteArray>> resultat;
    const QDir rep(QStringLiteral(KELVARIN_FIXTURES_DIR "/e2e"));
    for (const QString& nom : rep.entryList({QStringLiteral("*.eml")}, QDir::Files, QDir::Name)) {
        QFile f(rep.filePath(nom));
        if (f.open(QIODevice::ReadOnly)) resultat.append({nom, f.readAll()});
    }
    // The 100 KB line is built here rather than kept as a huge file.
    QByteArray longue = "From: long@example.test\nTo: alice@example.test\nSubject: long line\n\n";
    longue += QByteArray(100 * 1024, 'x') + "\nend\n";
    resultat.append({QStringLiteral("zz-ligne-100k.eml"), longue});
    return resultat;
}

} // namespace testsupport
