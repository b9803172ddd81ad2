#include "integration/thunderbird.h"

#include "core/safe_save.h"
#include "core/trace.h"
#include "i18n/resources.h"
#include "integration/prefs_js.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMap>

#include <fcntl.h>
#include <unistd.h>

namespace {

const QByteArray kServeur = QByteArrayLiteral("mail.server.");
const QByteArray kOrigine = QByteArrayLiteral(".kelvarin.origine");
const QByteArray kCopie = QByteArrayLiteral(".kelvarin.bak");

QByteArray cleServeur(const QString& serveur, const char* champ) {
    return kServeur + serveur.toUtf8() + '.' + champ;
}

// profiles.ini: [ProfileN] sections with Name, IsRelative and Path.
QList<TThunderbird::TProfil> lireProfilsIni(const QString& fichier) {
    QList<TThunderbird::TProfil> r;
    QFile f(fichier);
    if (!f.open(QIODevice::ReadOnly)) return r;
    const QString dossier = QFileInfo(fichier).absolutePath();
    QMap<QString, QString> section;
    bool profil = false;
    const auto finir = [&] {
        if (profil && !section.value(QStringLiteral("path")).isEmpty()) {
            const QString chemin = section.value(QStringLiteral("path"));
            const bool relatif = section.value(QStringLiteral("isrelative"), QStringLiteral("1")) !=
                                 QLatin1String("0");
            TThunderbird::TProfil p;
            p.Nom = section.value(QStringLiteral("name"), chemin);
            p.Chemin = relatif ? QDir(dossier).filePath(chemin) : chemin;
            r.append(p);
        }
        section.clear();
    };
    for (const QByteArray& brute : f.readAll().split('\n')) {
        const QString ligne = QString::fromUtf8(brute).trimmed();
        if (ligne.startsWith(QLatin1Char('['))) {
            finir();
            profil = ligne.startsWith(QLatin1String("[Profile"), Qt::CaseInsensitive);
            continue;
        }
        const qsizetype egal = ligne.indexOf(QLatin1Char('='));
        if (egal > 0) section.insert(ligne.first(egal).trimmed().toLower(), ligne.sliced(egal + 1));
    }
    finir();
    return r;
}

bool lireFichier(const QString& chemin, QByteArray& contenu, QString& erreur) {
    QFile f(chemin);
    if (!f.open(QIODevice::ReadOnly)) {
        erreur = f.errorString();
        return false;
    }
    contenu = f.readAll();
    if (f.error() != QFileDevice::NoError) {
        erreur = f.errorString();
        return false;
    }
    return true;
}

// "port=995;socketType=3;authMethod=4": what re-pointing changed besides the
// server and login, as the file had it (empty: the line was absent).
const char* const kChampsOrigine[] = {"port", "socketType", "authMethod"};

QString origine(const TPrefsJs& prefs, const QString& serveur) {
    QStringList parties;
    for (const char* champ : kChampsOrigine)
        parties << QLatin1String(champ) + QLatin1Char('=') +
                       QString::fromUtf8(prefs.Brut(cleServeur(serveur, champ)));
    return parties.join(QLatin1Char(';'));
}

bool entierValide(const QString& v) {
    bool ok = false;
    v.toInt(&ok);
    return ok;
}

QString messageVerrou(const QString& profil) {
    return Format(Res("configoe01", u"Thunderbird utilise le profil « %s » : fermez Thunderbird, "
                                    u"puis validez à nouveau. Aucun compte n'a été modifié."),
                  {profil});
}

} // namespace

TThunderbird::TThunderbird(QString home) : m_home(std::move(home)) {}

QStringList TThunderbird::FichiersProfils() const {
    const QDir h(m_home);
    return {
        h.filePath(QStringLiteral(".thunderbird/profiles.ini")),
        h.filePath(QStringLiteral(".var/app/org.mozilla.Thunderbird/.thunderbird/profiles.ini")),
        h.filePath(QStringLiteral(".var/app/org.mozilla.thunderbird/.thunderbird/profiles.ini")),
        h.filePath(QStringLiteral("snap/thunderbird/common/.thunderbird/profiles.ini"))};
}

QList<TThunderbird::TProfil> TThunderbird::Profils() const {
    QList<TProfil> r;
    QStringList vus;
    for (const QString& fichier : FichiersProfils()) {
        for (TProfil p : lireProfilsIni(fichier)) {
            const QString canonique = QFileInfo(p.Chemin).canonicalFilePath();
            if (canonique.isEmpty() || vus.contains(canonique)) continue;
            vus << canonique;
            p.Chemin = canonique;
            r.append(p);
        }
    }
    return r;
}

bool TThunderbird::ProfilVerrouille(const QString& chemin) {
    const QDir d(chemin);
    // The link points to "address:+pid" and so never exists as a file.
    if (QFileInfo(d.filePath(QStringLiteral("lock"))).isSymLink() ||
        QFileInfo::exists(d.filePath(QStringLiteral("lock"))))
        return true;
    const QByteArray parentlock = QFile::encodeName(d.filePath(QStringLiteral(".parentlock")));
    const int fd = ::open(parentlock.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct flock verrou = {};
    verrou.l_type = F_WRLCK;
    verrou.l_whence = SEEK_SET;
    const bool tenu = ::fcntl(fd, F_GETLK, &verrou) == 0 && verrou.l_type != F_UNLCK;
    ::close(fd);
    return tenu;
}

QString TThunderbird::Cle(const QString& profil, const QString& serveur) {
    return profil + QLatin1Char('|') + serveur;
}

bool TThunderbird::SeparerCle(const QString& cle, QString& profil, QString& serveur) {
    const qsizetype barre = cle.lastIndexOf(QLatin1Char('|'));
    if (barre <= 0) return false;
    profil = cle.first(barre);
    serveur = cle.sliced(barre + 1);
    return !serveur.isEmpty();
}

QList<TUnMail> TThunderbird::ComptesPOP3(const TPrefsJs& prefs) {
    // The servers of the accounts, in the account manager's order; without
    // that list, every server in number order.
    QStringList serveurs;
    if (const auto comptes = prefs.Chaine("mail.accountmanager.accounts")) {
        for (const QString& compte : comptes->split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const auto s = prefs.Chaine("mail.account." + compte.trimmed().toUtf8() + ".server");
            if (s && !s->isEmpty() && !serveurs.contains(*s)) serveurs << *s;
        }
    } else {
        QMap<int, QString> parNumero;
        for (const QByteArray& nom : prefs.Noms()) {
            if (!nom.startsWith(kServeur) || !nom.endsWith(".type")) continue;
            const QString s =
                QString::fromUtf8(nom.sliced(kServeur.size(), nom.size() - kServeur.size() - 5));
            if (s.contains(QLatin1Char('.'))) continue;
            parNumero.insert(QStringView(s).mid(6).toInt(), s);
        }
        serveurs = parNumero.values();
    }
    QList<TUnMail> r;
    for (const QString& s : serveurs) {
        if (prefs.Chaine(cleServeur(s, "type")).value_or(QString()) != QLatin1String("pop3"))
            continue;
        // The real* values, when set, are the ones Thunderbird connects with.
        const auto valeur = [&prefs, &s](const char* reel, const char* nom) {
            const auto v = prefs.Chaine(cleServeur(s, reel));
            return v ? *v : prefs.Chaine(cleServeur(s, nom)).value_or(QString());
        };
        TUnMail m;
        m.Cle = s;
        m.ServeurPOP3 = valeur("realhostname", "hostname");
        if (m.ServeurPOP3.isEmpty()) continue;
        m.UtilisateurPOP3 = valeur("realuserName", "userName");
        m.NomCompte = prefs.Chaine(cleServeur(s, "name")).value_or(m.ServeurPOP3);
        const int securite = prefs.Entier(cleServeur(s, "socketType")).value_or(0);
        const int port = prefs.Entier(cleServeur(s, "port")).value_or(securite == 3 ? 995 : 110);
        m.Port = port > 0 && port <= 65535 ? quint16(port) : 0;
        r.append(m);
    }
    return r;
}

bool TThunderbird::Appliquer(TPrefsJs& prefs, const QString& s, const TEcritureCompte& e,
                             quint16 portEcoute) {
    if (prefs.Chaine(cleServeur(s, "type")).value_or(QString()) != QLatin1String("pop3"))
        return false;
    const QByteArray hote = prefs.Existe(cleServeur(s, "realhostname"))
                                ? cleServeur(s, "realhostname")
                                : cleServeur(s, "hostname");
    const QByteArray utilisateur = prefs.Existe(cleServeur(s, "realuserName"))
                                       ? cleServeur(s, "realuserName")
                                       : cleServeur(s, "userName");
    const QByteArray cleOrigine = kServeur + s.toUtf8() + kOrigine;
    const QByteArray port = cleServeur(s, "port");
    const QByteArray securite = cleServeur(s, "socketType");
    const QByteArray authentification = cleServeur(s, "authMethod");
    prefs.DefinirChaine(hote, e.ServeurPOP3);
    prefs.DefinirChaine(utilisateur, e.UtilisateurPOP3);

    if (TConfigComptesCourrier::EstLocalhost(e.ServeurPOP3)) {
        // Kept once: an account re-pointed twice keeps its first origin.
        if (!prefs.Existe(cleOrigine)) prefs.DefinirChaine(cleOrigine, origine(prefs, s));
        if (portEcoute != 0) prefs.DefinirEntier(port, portEcoute);
        // Plain text and a plain password on loopback; absent values already mean so.
        if (prefs.Existe(securite) && prefs.Brut(securite) != "0") prefs.DefinirBrut(securite, "0");
        if (prefs.Existe(authentification) && prefs.Brut(authentification) != "3")
            prefs.DefinirBrut(authentification, "3");
        return true;
    }

    if (const auto o = prefs.Chaine(cleOrigine)) {
        QHash<QString, QString> valeurs;
        for (const QString& partie : o->split(QLatin1Char(';'))) {
            const qsizetype egal = partie.indexOf(QLatin1Char('='));
            if (egal > 0) valeurs.insert(partie.first(egal), partie.sliced(egal + 1));
        }
        for (const char* champ : kChampsOrigine) {
            const QString v = valeurs.value(QLatin1String(champ));
            if (entierValide(v))
                prefs.DefinirBrut(cleServeur(s, champ), v.toUtf8());
            else
                prefs.Supprimer(cleServeur(s, champ));
        }
        prefs.Supprimer(cleOrigine);
        return true;
    }
    // Pointed to the proxy by hand: the port that the login named, with TLS
    // when it is the POP3S port.
    if (e.Port != 0) {
        prefs.DefinirEntier(port, e.Port);
        if (e.Port == 995) prefs.DefinirBrut(securite, "3");
    } else {
        prefs.Supprimer(port);
    }
    return true;
}

QList<TUnMail> TThunderbird::Lister() {
    QList<TUnMail> r;
    const QList<TProfil> profils = Profils();
    int profilsAvecComptes = 0;
    QList<QPair<TProfil, QList<TUnMail>>> parProfil;
    for (const TProfil& p : profils) {
        QByteArray contenu;
        QString erreur;
        if (!QFileInfo::exists(QDir(p.Chemin).filePath(QStringLiteral("prefs.js")))) continue;
        if (!lireFichier(QDir(p.Chemin).filePath(QStringLiteral("prefs.js")), contenu, erreur)) {
            Trace(QStringLiteral("Thunderbird : ") + p.Chemin + QStringLiteral(" : ") + erreur);
            continue;
        }
        const QList<TUnMail> comptes = ComptesPOP3(TPrefsJs(contenu));
        if (comptes.isEmpty()) continue;
        ++profilsAvecComptes;
        parProfil.append({p, comptes});
    }
    for (const auto& [p, comptes] : parProfil) {
        for (TUnMail m : comptes) {
            m.Cle = Cle(p.Chemin, m.Cle);
            // Several profiles: each name says which one it is in.
            if (profilsAvecComptes > 1)
                m.NomCompte += QStringLiteral(" [") + p.Nom + QLatin1Char(']');
            r.append(m);
        }
    }
    return r;
}

QString TThunderbird::Verrou() {
    for (const TProfil& p : Profils()) {
        if (!QFileInfo::exists(QDir(p.Chemin).filePath(QStringLiteral("prefs.js")))) continue;
        if (ProfilVerrouille(p.Chemin)) return messageVerrou(p.Nom);
    }
    return {};
}

bool TThunderbird::Ecrire(const QList<TEcritureCompte>& ecritures, QString& erreur) {
    // Grouped by profile; every profile checked before anything is written.
    QMap<QString, QList<TEcritureCompte>> parProfil;
    for (const TEcritureCompte& e : ecritures) {
        QString profil, serveur;
        if (SeparerCle(e.Cle, profil, serveur)) parProfil[profil].append(e);
    }
    const QList<TProfil> profils = Profils();
    for (auto it = parProfil.cbegin(); it != parProfil.cend(); ++it) {
        if (!ProfilVerrouille(it.key())) continue;
        QString nom = QFileInfo(it.key()).fileName();
        for (const TProfil& p : profils)
            if (p.Chemin == it.key()) nom = p.Nom;
        erreur = messageVerrou(nom);
        return false;
    }
    for (auto it = parProfil.cbegin(); it != parProfil.cend(); ++it) {
        const QString fichier = QDir(it.key()).filePath(QStringLiteral("prefs.js"));
        // A link is followed: the file it names is the one replaced.
        const QString cible = QFileInfo(fichier).canonicalFilePath();
        QByteArray avant;
        QString e;
        if (cible.isEmpty() || !lireFichier(cible, avant, e)) {
            erreur = fichier + QStringLiteral(" : ") + (e.isEmpty() ? QStringLiteral("absent") : e);
            return false;
        }
        TPrefsJs prefs(avant);
        for (const TEcritureCompte& ecriture : it.value()) {
            QString profil, serveur;
            SeparerCle(ecriture.Cle, profil, serveur);
            Appliquer(prefs, serveur, ecriture, PortEcoute);
        }
        const QByteArray apres = prefs.Contenu();
        if (apres == avant) continue;
        const QFileDevice::Permissions droits = QFile::permissions(cible);
        const QString copie = cible + QLatin1String(kCopie);
        if (!sauvegarde::ecrireAtomique(copie, avant, &e) ||
            !sauvegarde::ecrireAtomique(cible, apres, &e)) {
            erreur = fichier + QStringLiteral(" : ") + e;
            return false;
        }
        QFile::setPermissions(copie, droits);
        QFile::setPermissions(cible, droits);
        Trace(QStringLiteral("Thunderbird : ") + fichier + QStringLiteral(" modifié (copie : ") +
              copie + QLatin1Char(')'));
    }
    return true;
}
