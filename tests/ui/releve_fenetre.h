#pragma once
// Mail for the window suites: a private dovecot holding a few messages, and a
// fetch through the window's own proxy, so the review page shows what the
// engine really archived.

#include "proxy/moteur.h"
#include "proxy/serveur_proxy.h"
#include "tests/support/dovecot_peer.h"
#include "tests/support/pop3_script_server.h"

#include <QByteArray>
#include <QList>
#include <QtTest>

namespace testsupport {

inline QList<QByteArray> messagesExemple() {
    return {"Received: from good (good [203.0.113.7])\n\tby relay; Mon, 1 Jan 2024 10:00:00 "
            "+0000\nFrom: Bob <bob@example.test>\nTo: alice@example.test\nSubject: Facture "
            "#1234\n\nVotre facture du mois.\nMerci.\n",
            "From: vendeur@noir.example\nSubject: Promotions du jour\n\nTout doit partir.\n",
            "From: ami@friends.example\nSubject: Diner samedi\n\nTu viens ?\n",
            "From: html@example.test\nSubject: Lettre en html\nMIME-Version: 1.0\nContent-Type: "
            "text/html\n\n<html><body><p>Bonjour en <b>html</b></p></body></html>\n"};
}

// Every message of alice's box fetched through the proxy, then QUIT; true
// once the session is gone.
inline bool releverParLeProxy(TMoteur& moteur, const TDovecotPeer& peer) {
    TClientLignes c;
    if (!c.connecter(moteur.ServeurProxy().PortLocal()) || !c.ligne().startsWith("+OK"))
        return false;
    if (!c.commande("USER alice@127.0.0.1|" + QByteArray::number(peer.port())).startsWith("+OK"))
        return false;
    if (!c.commande("PASS secret").startsWith("+OK")) return false;
    const int n = c.commande("STAT").split(' ').value(1).toInt();
    for (int i = 1; i <= n; ++i) {
        if (!c.commande("RETR " + QByteArray::number(i)).startsWith("+OK")) return false;
        if (c.jusquAuPoint().isNull()) return false;
    }
    if (!c.commande("QUIT").startsWith("+OK")) return false;
    c.abandonner();
    return QTest::qWaitFor([&] { return moteur.NbSessionsOuvertes() == 0; }, 5000);
}

} // namespace testsupport
