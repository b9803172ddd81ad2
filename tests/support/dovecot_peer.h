#pragma once
// A private dovecot POP3 server on 127.0.0.1 for the end-to-end tests and the
// benchmarks: its own run directory, users, Maildir messages, started in its
// own process group and stopped (or killed, to play an upstream crash) by the
// test itself. Also the message sources: the SpamAssassin corpus and the
// edge-case fixtures.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <sys/types.h>

namespace testsupport {

class TDovecotPeer {
public:
    TDovecotPeer();
    ~TDovecotPeer(); // stops the server
    TDovecotPeer(const TDovecotPeer&) = delete;
    TDovecotPeer& operator=(const TDovecotPeer&) = delete;

    // Before or after the start: dovecot reads the passwd file and the Maildir
    // at each login.
    void ajouterUtilisateur(const QString& login, const QString& motDePasse);
    // One message file in Maildir/new (LF line ends expected); file names carry
    // increasing timestamps so the server keeps the order of the calls.
    void ajouterMessage(const QString& login, const QByteArray& texte);
    // The same for many messages, the mailbox's owner set once at the end.
    void ajouterMessages(const QString& login, const QList<QByteArray>& textes);
    int nbMessages(const QString& login) const;

    // Starts dovecot (again on the same port after a stop) and waits (bounded) until it greets on
    // its port. On failure returns false with the reason and the dovecot log in `erreur`.
    bool demarrer(QString* erreur, int delaiMs = 15000);
    void arreter(); // SIGTERM, then SIGKILL of the group
    void tuer();    // SIGKILL of the group at once (upstream crash)
    bool actif() const { return m_pid > 0; }

    // TLS, before the start: a pop3s listener beside the plain one, which then
    // offers STLS. With `exiger`, no login over plain text (ssl = required).
    // Dovecot trusts a client whose address equals its own as if it were
    // encrypted, so a peer that must refuse plain text listens on 127.0.0.2
    // (clients come from 127.0.0.1): give its certificate "IP:127.0.0.2".
    void activerTls(const QString& certificat, const QString& cle, bool exiger = false);
    quint16 portPop3s() const { return m_portPop3s; }
    QString adresse() const { return m_adresse; }

    quint16 port() const { return m_port; }
    QString repertoire() const { return m_dir.path(); }
    QString journal() const; // content of dovecot.log

private:
    bool preparer(QString* erreur);
    bool attendrePret(int delaiMs, QString* erreur);
    void attendreFin(int delaiMs);

    QTemporaryDir m_dir;
    quint16 m_port = 0;
    quint16 m_portPop3s = 0;
    QString m_adresse = QStringLiteral("127.0.0.1");
    QString m_certificat, m_cle;
    bool m_exigerTls = false;
    pid_t m_pid = -1;
    uid_t m_uid = 0;
    gid_t m_gid = 0;
    qint64 m_prochainHorodatage = 1500000000;
    QList<QPair<QString, QString>> m_utilisateurs;
};

// A free TCP port on 127.0.0.1 (bound and released at once).
quint16 portLibre();

// The corpus folder printed by scripts/fetch-corpus.sh (empty on failure).
QString dossierCorpus();
// The first `n` corpus messages in a stable order over the groups, without the
// leading mbox "From " line; LF line ends as in the corpus.
QList<QByteArray> messagesCorpus(int n);
// The edge-case messages of tests/fixtures/e2e, sorted by file name.
QList<QPair<QString, QByteArray>> messagesFixturesE2e();

} // namespace testsupport
