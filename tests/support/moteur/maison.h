#pragma once
// A temporary home for the program's own assembly: kelvarin.ini written with
// the test's keys, and what a test reads back from the disk afterwards.

#include "core/repertoires.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QPair>
#include <QString>
#include <QTemporaryDir>

namespace testsupport {

struct TMaison {
    using TCles = QList<QPair<QByteArray, QByteArray>>;

    // kelvarin.ini holds [Init] with PortEcoute=0 (a free port), then `cles`;
    // a key given again replaces the earlier one.
    explicit TMaison(const TCles& cles = {});

    // `autres` after `base`, a key of both taking its value from `autres`.
    static TCles fusionner(TCles base, const TCles& autres);

    // The shipped charset tables, for tests that decode or score mail.
    void lierEncodage();
    // The accounts on disk, "login@server", read by a manager of their own.
    QList<QByteArray> comptesSurDisque() const;
    // An account written to disk; its number.
    qint32 creerCompte(const char* serveur, const char* login);
    QDateTime date(const QString& fichier) const; // relative to the home

    QTemporaryDir dir;
    TRepertoires reps;
};

} // namespace testsupport
