#include "pages/page_mails.h"

#include "accounts/mon_dossier_bis.h"
#include "bayes/bayes_doc.h"
#include "core/config.h"
#include "core/controleur.h"
#include "core/cp1252.h"
#include "core/date_time.h"
#include "core/settings.h"
#include "core/trace.h"
#include "i18n/resources.h"
#include "mime/adresse.h"
#include "proxy/moteur.h"

#include <QDateTime>

#include <cmath>
#include <exception>

namespace {

const TCouleurPage kRouge = TCouleurPage::rgb(255, 0, 0);
const TCouleurPage kBleuClair = TCouleurPage::rgb(100, 100, 255);
const TCouleurPage kRose = TCouleurPage::rgb(255, 119, 119);
const TCouleurPage kVert = TCouleurPage::rgb(0, 128, 0);
const TCouleurPage kJaune = TCouleurPage::rgb(255, 255, 0);
const TCouleurPage kVertClair = TCouleurPage::rgb(183, 255, 183);

bool parListe(const TUnMessageMem& m) {
    return m.ListeBlanche || m.ListeNoire || m.HorsDestinataire;
}

// A typed number of days or hours: not an integer, or negative, counts as 0.
int entierPositif(const QByteArray& texte) {
    bool ok = false;
    const int n = texte.trimmed().toInt(&ok);
    return ok && n > 0 ? n : 0;
}

// "12 345ko": kilobytes rounded up, digits grouped by three with a blank.
QString kilo(qint32 taille) {
    const qint64 ko = (qint64(std::max(0, taille)) + 1023) / 1024;
    QString chiffres = QString::number(ko);
    for (qsizetype i = chiffres.size() - 3; i > 0; i -= 3)
        chiffres.insert(i, QLatin1Char(' '));
    return chiffres + Res("recus01", u"ko");
}

// The list of each popup item's kind, as the verdict tests it.
struct TGenrePopup {
    const char* NomAjout;
    const char16_t* TexteAjout;
    const char* NomSuppr;
    const char16_t* TexteSuppr;
    int Type; // TTypeListe
    TListeFiltre Liste;
    bool Sujet;
};
const TGenrePopup kGenres[4] = {
    {"MnuAjoutMail1", u"Ajouter mail émetteur dans la liste blanche", "MnuSupprMail1",
     u"Supprimer mail émetteur de la liste blanche", 7, lfBlancheEmetteur, false},
    {"MnuAjoutMail2", u"Ajouter mail émetteur dans la liste noire", "MnuSupprMail2",
     u"Supprimer mail émetteur de la liste noire", 4, lfNoireEmetteur, false},
    {"MnuAjoutSujet1", u"Ajouter sujet dans la liste blanche", "MnuSupprSujet1",
     u"Supprimer sujet de la liste blanche", 8, lfBlancheSujet, true},
    {"MnuAjoutSujet2", u"Ajouter sujet dans la liste noire", "MnuSupprSujet2",
     u"Supprimer sujet de la liste noire", 5, lfNoireSujet, true},
};

} // namespace

quint32 TCouleurPage::Assombrir(quint32 rgb) {
    const quint32 r = ((rgb >> 16) & 0xff) * 95 / 100;
    const quint32 g = ((rgb >> 8) & 0xff) * 95 / 100;
    const quint32 b = (rgb & 0xff) * 95 / 100;
    return (r << 16) | (g << 8) | b;
}

TPageMails::TPageMails(TMoteur& moteur) : m_moteur(moteur) {
    m_moteur.OnViderAffichage = [this] {
        m_lignes.clear();
        m_calculs.clear();
        m_compte = -1;
        if (OnListeChangee) OnListeChangee();
    };
    m_moteur.OnRafraichirAffichage = [this](qint32 compte) { rafraichirSiAffiche(compte); };
}

TPageMails::~TPageMails() {
    m_moteur.OnViderAffichage = nullptr;
    m_moteur.OnRafraichirAffichage = nullptr;
}

// ---- top panel -------------------------------------------------------------------

QStringList TPageMails::NomsComptes() const {
    QStringList noms;
    const TGestionComptesBis& g = m_moteur.GestionComptesBis1;
    for (int i = 0; i < g.Count(); ++i)
        if (const TUnCompteBis* c = g.Compte(i)) noms << cp1252::versUnicode(c->Nom);
    return noms;
}

void TPageMails::ChoisirCompte(int index) {
    const TUnCompteBis* c = index >= 0 ? m_moteur.GestionComptesBis1.Compte(index) : nullptr;
    m_numeroChoisi = c ? c->Numero : -1;
}

int TPageMails::CompteChoisi() const {
    const TGestionComptesBis& g = m_moteur.GestionComptesBis1;
    for (int i = 0; i < g.Count(); ++i)
        if (const TUnCompteBis* c = g.Compte(i); c && c->Numero == m_numeroChoisi) return i;
    return -1;
}

TUnCompteBis* TPageMails::compteChoisi() const {
    return m_numeroChoisi >= 0 ? m_moteur.CompteNumero(m_numeroChoisi) : nullptr;
}

QByteArray TPageMails::NbJour() const {
    return Config().NbJour;
}
QByteArray TPageMails::NbHeure() const {
    return Config().NbHeure;
}
int TPageMails::Affichage() const {
    return Config().Affichage;
}
void TPageMails::setNbJour(const QByteArray& texte) {
    Config().NbJour = texte;
}
void TPageMails::setNbHeure(const QByteArray& texte) {
    Config().NbHeure = texte;
}
void TPageMails::setAffichage(int item) {
    Config().Affichage = std::clamp(item, 0, int(afListesBlanches));
}

bool TPageMails::Occupe() const {
    const TBranchements& b = m_moteur.Controleur().Branchements;
    return b.CalculEnCours && b.CalculEnCours();
}

bool TPageMails::CompteEnCours() const {
    return m_compte >= 0 && m_moteur.MonDossierBisSynchro.Contient(m_compte);
}

void TPageMails::refus(const QString& texte) {
    Trace(texte);
    if (OnRefus) OnRefus(texte);
}

void TPageMails::bip() {
    if (OnBip) OnBip();
}

// ---- the list ----------------------------------------------------------------------

void TPageMails::Ouvrir() {
    m_numeroChoisi = -1;
    Rafraichir();
}

void TPageMails::Quitter() {
    m_numeroChoisi = -1;
    m_lignes.clear();
    m_calculs.clear();
    m_nbMessages = 0;
    if (Occupe()) return; // the rebuild walks the review-side archive itself
    if (m_compte >= 0) {
        m_moteur.MonDossierBis1.Fermer();
        m_moteur.MonDossierBis1.Ouvrir(nullptr);
    }
    m_compte = -1;
}

void TPageMails::rafraichirSiAffiche(qint32 compte) {
    // A session's end names the account the proxy saved; the rebuild's end
    // (-1) comes while it still holds the busy flag, and it walked the
    // review-side archive, so whatever the page showed is read again.
    if (compte >= 0 && (compte != m_compte || Occupe())) return;
    reconstruireLignes();
    if (OnListeChangee) OnListeChangee();
}

TPageMails::TResultat TPageMails::Rafraichir() {
    if (Occupe()) return raOccupe;
    reconstruireLignes();
    if (OnListeChangee) OnListeChangee();
    return raFait;
}

void TPageMails::reconstruireLignes() {
    m_lignes.clear();
    m_calculs.clear();
    m_nbMessages = 0;
    TMonDossierBis& archive = m_moteur.MonDossierBis1;
    TMonDossierBis& synchro = m_moteur.MonDossierBisSynchro;
    TUnCompteBis* compte = compteChoisi();
    // The proxy's records reach the disk before the page reads the index:
    // read first, the page would miss them and later save its shorter list.
    if (compte && synchro.Contient(compte->Numero)) {
        if (m_moteur.NbSessionsOuvertes() == 0) {
            if (synchro.Fermer()) synchro.Ouvrir(nullptr);
        } else {
            synchro.SauverCompte(compte->Numero);
        }
    }
    if (m_compte >= 0 && (!compte || compte->Numero != m_compte)) archive.Fermer();
    archive.Ouvrir(compte);
    m_compte = compte && archive.Compte() == compte->Numero ? compte->Numero : -1;
    if (m_compte < 0) return;

    const TConfig& c = Config();
    const int jours = entierPositif(c.NbJour), heures = entierPositif(c.NbHeure);
    const TDateTime limite = datetime::maintenant() - jours - heures / 24.0;
    const int filtre = std::clamp(c.Affichage, 0, int(afListesBlanches));
    bool calcule = false;
    for (int i = 0; i < archive.NbMessage(); ++i) {
        TUnMessageMem* m = archive.Message(i);
        if (!m || m->Supprime) continue;
        ++m_nbMessages;
        if (m->Reception < limite) continue;
        if (filtre != afTous && m->ProbaBayes < 0) {
            calcul(*m);
            calcule = true;
        }
        bool affiche = true;
        switch (filtre) {
        case afSpams:
            affiche = !m->ListeBlanche && (m->ListeNoire || m->HorsDestinataire || m->Spam);
            break;
        case afNonSpams:
            affiche = m->ListeBlanche || (!m->ListeNoire && !m->HorsDestinataire && !m->Spam);
            break;
        case afIncompatibles:
            affiche =
                !parListe(*m) && m->TestIP && m->TestBayes &&
                ((m->SpamIP && m->ProbaBayes <= 500 && m->ProbaBayes >= 10 * c.PourcentageSpam2) ||
                 (!m->SpamIP && m->ProbaBayes > 500 && m->ProbaBayes <= 10 * c.PourcentageSpam));
            break;
        case afListesNoires:
            affiche = m->ListeNoire;
            break;
        case afListesBlanches:
            affiche = m->ListeBlanche;
            break;
        default:
            break;
        }
        if (affiche) m_lignes.push_back(m->Numero);
    }
    // Newest first.
    std::reverse(m_lignes.begin(), m_lignes.end());
    if (calcule && !CompteEnCours()) sauverArchive();
}

bool TPageMails::sauverArchive() {
    TMonDossierBis& archive = m_moteur.MonDossierBis1;
    QString erreur;
    if (archive.Sauver(&erreur)) return true;
    TraceException(u"CBoxCompteChange", erreur);
    return false;
}

QString TPageMails::TexteNbMessages() const {
    return Format(Res("princ87", u"%d message(s), affiché=%d"),
                  {QString::number(m_nbMessages), QString::number(NbLignes())});
}

qint32 TPageMails::NumeroLigne(int ligne) const {
    if (ligne < 1 || ligne > NbLignes()) return 0;
    return m_lignes[size_t(ligne - 1)];
}

TUnMessageMem* TPageMails::Record(int ligne) {
    const qint32 numero = NumeroLigne(ligne);
    if (numero <= 0 || m_compte < 0 || m_moteur.MonDossierBis1.Compte() != m_compte) return nullptr;
    TUnMessageMem* m = m_moteur.MonDossierBis1.ChercherNumero(numero);
    return m && !m->Supprime ? m : nullptr;
}

bool TPageMails::lireMessage(const TUnMessageMem& m, QByteArray& texte) {
    QString erreur;
    if (m_moteur.MonDossierBis1.LireTexte(m, texte, false, &erreur)) return true;
    texte.clear();
    if (!erreur.isEmpty()) TraceException(u"LireMessage", erreur);
    return false;
}

TCalculBayesMessage& TPageMails::calcul(TUnMessageMem& m, bool forcer) {
    TCalculBayesMessage& r = m_calculs[m.Numero];
    if (r.Calcule && !forcer) return r;
    TFiltreBayes* filtre = m_moteur.FiltreBayes();
    r.ProbaBayes = m.ProbaBayes;
    QByteArray texte;
    lireMessage(m, texte);
    if (filtre) {
        const TUnCompteBis* compte = m_moteur.CompteNumero(m_compte);
        const QByteArray email = compte ? compte->EMail : QByteArray();
        filtre->CalculerBayesMessage(r, m_moteur.MonMimeDecodeAffichage, texte, email);
    }
    r.Calcule = true;
    if (m.ProbaBayes < 0 && r.ProbaBayes >= 0) {
        m.ProbaBayes = r.ProbaBayes;
        m_moteur.MonDossierBis1.FixeModifie = true;
    }
    return r;
}

QString TPageMails::FormatReception() {
    // The resource holds the design's picture: "mm" month, "nn" minutes.
    QString f = Res("princ97", u"dd/mm hh:nn");
    f.replace(QStringLiteral("mm"), QStringLiteral("MM"));
    f.replace(QStringLiteral("nn"), QStringLiteral("mm"));
    return f;
}

QString TPageMails::decoder(const QByteArray& brut) const {
    return m_moteur.EncodageDecodage1.DecoderEntete(brut);
}

QByteArray TPageMails::sujetDecode(const TUnMessageMem& m) const {
    return cp1252::depuisUnicode(decoder(m.Sujet)).trimmed();
}

TCellulePage TPageMails::Cellule(int ligne, int colonne) {
    TCellulePage c;
    if (ligne == 0) {
        // Each title loaded by its own literal key, so the language template lists it.
        const QString titres[kNbColonnes] = {
            Res("princ88", u"spam"),      Res("princ89", u"ip"),       Res("princ90", u"prob."),
            Res("princ91", u"sujet"),     Res("princ92", u"émetteur"), Res("princ93", u"taille"),
            Res("princ94", u"réception"), Res("princ95", u"spam?"),    Res("princ96", u"bon?"),
            Res("princ128", u"to:")};
        if (colonne >= 0 && colonne < kNbColonnes) c.Texte = titres[colonne];
        c.Alignement = TCellulePage::alCentre;
        c.Fond = {TCouleurPage::crBouton, 0};
        return c;
    }
    c.Fond = {ligne % 2 ? TCouleurPage::crFenetreSombre : TCouleurPage::crFenetre, 0};
    TUnMessageMem* m = Record(ligne);
    if (!m) {
        c.Texte = QStringLiteral("nil");
        return c;
    }
    const TCalculBayesMessage& r = calcul(*m);
    if (!parListe(*m) && m->TestIP && m->TestBayes) {
        if (m->Spam && r.PctSpam < 50)
            c.Fond = kRouge;
        else if (!m->Spam && r.PctBon < 50)
            c.Fond = kBleuClair;
    }
    const TConfig& cfg = Config();
    const double s = r.PctSpam;
    const bool clair = parListe(*m) || !m->TestBayes;
    switch (colonne) {
    case 0:
        c.Alignement = TCellulePage::alCentre;
        if (m->ListeBlanche)
            c.Texte = Res("princ01", u"blanc");
        else if (m->ListeNoire)
            c.Texte = Res("princ02", u"noir");
        else if (m->HorsDestinataire)
            c.Texte = Res("princ130", u"dest");
        else if (m->Spam)
            c.Texte = Res("princ03", u"spam");
        if (m->HorsDestinataire)
            c.Fond = kRose;
        else if (m->Spam || m->ListeNoire)
            c.Fond = kRouge;
        break;
    case 1:
        c.Alignement = TCellulePage::alCentre;
        if (!m->TestIP)
            c.Texte = QStringLiteral("/");
        else if (!parListe(*m))
            c.Texte = m->SpamIP ? Res("recus02", u"oui") : Res("recus03", u"non");
        break;
    case 2:
        c.Alignement = TCellulePage::alDroite;
        if (!m->TestBayes)
            c.Texte = QStringLiteral("/");
        else if (parListe(*m))
            c.Texte.clear();
        else if (m->ProbaBayes < 0)
            c.Texte = QStringLiteral("?");
        else
            c.Texte = TextePourcentage(m->ProbaBayes / 10.0);
        break;
    case 3:
        c.Texte = QLatin1Char(' ') + decoder(m->Sujet);
        break;
    case 4:
        c.Texte = QLatin1Char(' ') + decoder(m->Emetteur);
        break;
    case 5:
        c.Alignement = TCellulePage::alDroite;
        c.Texte = kilo(m->Taille);
        break;
    case 6: {
        const QDateTime d = datetime::versQDateTime(m->Reception);
        c.Texte = d.isValid() ? d.toString(FormatReception()) : QString();
        break;
    }
    case 7:
        c.Alignement = TCellulePage::alDroite;
        c.Texte = TextePourcentage(s);
        if (m->TestIP && m->SpamIP) {
            if (s >= 50)
                c.Fond = kVert;
            else if (s >= cfg.PourcentageSpam2)
                c.Fond = kJaune;
        } else if (m->TestIP) {
            if (s >= cfg.PourcentageSpam)
                c.Fond = kVert;
            else if (s >= 50)
                c.Fond = kJaune;
        } else if (s > 50) {
            c.Fond = clair ? kVertClair : kVert;
        }
        break;
    case 8:
        c.Alignement = TCellulePage::alDroite;
        c.Texte = TextePourcentage(r.PctBon);
        if (m->TestIP && m->SpamIP) {
            if (s < 50) c.Fond = s < cfg.PourcentageSpam2 ? kVert : kJaune;
        } else if (m->TestIP) {
            if (s < cfg.PourcentageSpam) c.Fond = s >= 50 ? kJaune : kVert;
        } else if (r.PctBon > 50) {
            c.Fond = clair ? kVertClair : kVert;
        }
        break;
    case 9:
        c.Alignement = TCellulePage::alCentre;
        if (r.DansTo || r.DansCc) c.Texte = QStringLiteral("X");
        break;
    default:
        break;
    }
    return c;
}

// ---- the selected message ------------------------------------------------------------

QStringList TPageMails::Info(int ligne) {
    QStringList l;
    const TUnMessageMem* m = Record(ligne);
    if (!m) return l;
    l << Res("recus04", u"Sujet : ") + decoder(m->Sujet)
      << Res("recus05", u"Emetteur : ") + decoder(m->Emetteur) << QString();
    if (m->HorsDestinataire) l << Res("recus06", u"Mail destinataire non présent");
    if (m->ListeBlanche) l << Res("recus07", u"Liste blanche");
    if (m->ListeNoire) l << Res("recus08", u"Liste noire");
    if (m->TestIP) {
        l << Res("recus09", u"Test sur l'ip :");
        if (m->SpamIP) {
            l << Res("recus10", u"  * le message est un spam");
            if (const PUnDNS s = m_moteur.ChercheSPAMs1.TrouverServeurNumero(m->ServeurDNSBL)) {
                l << Res("recus11", u"  * serveur ") + cp1252::versUnicode(s->Nom);
                l << Res("recus12", u"  * réponse = ") + cp1252::versUnicode(m->ReponseDNSBL);
            }
        } else {
            l << Res("recus13", u"  * le message n'est pas un spam");
        }
    } else {
        l << Res("recus14", u"Pas de test sur l'ip");
    }
    if (m->TestBayes) {
        l << Res("recus15", u"Test bayesien :");
        if (m->ProbaBayes <= 500) {
            l << Res("recus13", u"  * le message n'est pas un spam");
        } else {
            l << Res("recus10", u"  * le message est un spam");
            l << Res("recus16", u"  * proba : ") + TextePourcentage(m->ProbaBayes / 10.0);
        }
    } else {
        l << Res("recus17", u"Pas de test bayesien");
    }
    l << QString();
    if (m->Spam) l << Res("recus18", u"=> LE MESSAGE EST UN SPAM");
    return l;
}

TDetailPage TPageMails::Detail(int ligne) {
    TDetailPage d;
    if (Occupe()) return d;
    TUnMessageMem* m = Record(ligne);
    if (!m) {
        if (ligne > 0) bip();
        return d;
    }
    d.Record = true;
    TFiltreBayes* filtre = m_moteur.FiltreBayes();
    if (filtre) filtre->ChargerBase();
    d.SpamActif = !m->Spam && !parListe(*m);
    d.PasSpamActif = m->Spam && !m->ListeBlanche && !m->ListeNoire;
    try {
        QByteArray texte;
        lireMessage(*m, texte);
        TMonMimeDecode& dec = m_moteur.MonMimeDecodeAffichage;
        if (filtre) {
            filtre->AppliquerBayes(filtre->DocAffichage, dec, false, true, texte, false);
        } else {
            dec.Reinitialiser();
            dec.Decoder(texte);
        }
        QByteArray entetes;
        for (const QByteArray& l : dec.LignesEntete())
            entetes += l + "\r\n";
        d.Entetes = cp1252::versUnicode(entetes);
        d.TexteActif = !dec.MessagePlain().isEmpty();
        d.HtmlActif = !dec.MessageHtml().isEmpty();
        d.Texte = cp1252::versUnicode(dec.MessagePlain().Texte());
        d.Html = cp1252::versUnicode(dec.MessageHtml().Texte());
    } catch (const std::exception& e) {
        TraceException(u"SGridMailsClick", TexteErreur(e));
    }
    d.Info = Info(ligne);
    return d;
}

QList<TMotPage> TPageMails::Mots(int ligne, int tri) {
    QList<TMotPage> mots;
    TFiltreBayes* filtre = m_moteur.FiltreBayes();
    TUnMessageMem* m = Record(ligne);
    if (!filtre || !m || Occupe()) return mots;
    try {
        // Scored again: in the best-15 modes the document keeps the chosen tokens.
        calcul(*m, true);
        QByteArrayList lignes;
        TMonBayesDB& base = filtre->Base();
        const int mode = filtre->ModeBayes;
        filtre->DocAffichage.ListerMots(lignes, std::clamp(tri, 0, 2), mode, base);
        for (const QByteArray& mot : lignes) {
            TMotPage p;
            p.Mot = mot;
            p.Spam = base.CompteSpam(mot, mode);
            p.Bon = base.CompteBon(mot, mode);
            // As the combination in force sees the token.
            p.Proba =
                filtre->DocAffichage.ProbaCombinee(base, base.Trouver(mot), mode, p.Qualifie) * 100;
            p.Texte = cp1252::versUnicode(mot) + QLatin1Char('|') + QString::number(p.Spam) +
                      QLatin1Char('|') + QString::number(p.Bon) + QLatin1Char('|') +
                      (p.Qualifie ? TextePourcentage(p.Proba) : QString());
            mots << p;
        }
    } catch (const std::exception& e) {
        TraceException(u"SGridMailsClick", TexteErreur(e));
    }
    return mots;
}

QList<TItemPopup> TPageMails::ItemsPopup(int ligne) {
    QList<TItemPopup> items;
    const TUnMessageMem* m = Record(ligne);
    if (!m) return items;
    const QByteArray adresse = ExtraireAdresse(m->Emetteur).trimmed();
    const QByteArray sujet = sujetDecode(*m);
    for (int i = 0; i < 4; ++i) {
        const TGenrePopup& g = kGenres[i];
        const QByteArray valeur = g.Sujet ? sujet : adresse;
        const bool trouve = !valeur.isEmpty() && m_moteur.ChercheSPAMs1.TesterListe(g.Type, valeur);
        items << TItemPopup{g.NomAjout, i + 1, valeur, !valeur.isEmpty() && !trouve};
        items << TItemPopup{g.NomSuppr, -(i + 1), valeur, !valeur.isEmpty() && trouve};
    }
    return items;
}

// ---- gestures ------------------------------------------------------------------------

TPageMails::TResultat TPageMails::Corriger(int ligne, bool spam) {
    if (Occupe()) return raOccupe;
    if (CompteEnCours()) {
        bip();
        refus(Res("princ98", u"Impossible de modifier le compte en cours de récupération"));
        return raEnCours;
    }
    TUnMessageMem* m = Record(ligne);
    if (!m || m->Spam == spam || m->ListeBlanche || m->ListeNoire) return raRien;
    TFiltreBayes* filtre = m_moteur.FiltreBayes();
    if (filtre && m->TestBayes) {
        filtre->ChargerBase();
        QByteArray texte;
        lireMessage(*m, texte);
        EntrainerCorrection(*filtre, m_moteur.MonMimeDecodeAffichage, *m, texte,
                            spam ? enVersSpam : enVersBon);
    }
    if (m->TestIP && m->SpamIP && m_moteur.ChercheSPAMs1.TrouverServeurNumero(m->ServeurDNSBL))
        m_moteur.ChercheSPAMs1.AjusterCorrection(m->ServeurDNSBL, !spam);
    const qint32 numero = m->Numero;
    m->Spam = spam;
    m_calculs.remove(numero);
    m_moteur.MonDossierBis1.FixeModifie = true;
    sauverArchive();
    if (OnCellulesChangees) OnCellulesChangees();
    if (Config().ReemettreSpam && !spam) m_moteur.Reemettre(m_compte, numero);
    return raFait;
}

TPageMails::TResultat TPageMails::Supprimer(int ligne) {
    if (Occupe()) return raOccupe;
    if (CompteEnCours()) {
        bip();
        refus(Res("princ98", u"Impossible de modifier le compte en cours de récupération"));
        return raEnCours;
    }
    TUnMessageMem* m = Record(ligne);
    if (!m) return raRien;
    if (OnQuestion && !OnQuestion(Res("princ105", u"Supprimer le message sélectionné ?")))
        return raAnnule;
    TFiltreBayes* filtre = m_moteur.FiltreBayes();
    if (filtre) {
        filtre->ChargerBase();
        if (m->TestBayes && !parListe(*m)) {
            QByteArray texte;
            lireMessage(*m, texte);
            EntrainerCorrection(*filtre, m_moteur.MonMimeDecodeAffichage, *m, texte, enSuppression);
        }
    }
    const qint32 numero = m->Numero;
    m_moteur.MonDossierBis1.MarquerSupprime(*m);
    sauverArchive();
    m_calculs.remove(numero);
    m_lignes.erase(std::remove(m_lignes.begin(), m_lignes.end(), numero), m_lignes.end());
    --m_nbMessages;
    if (OnListeChangee) OnListeChangee();
    return raFait;
}

TPageMails::TResultat TPageMails::Reemettre(int ligne) {
    if (Occupe()) return raOccupe;
    const TUnMessageMem* m = Record(ligne);
    if (!m) return raRien;
    return m_moteur.Reemettre(m_compte, m->Numero) ? raFait : raRien;
}

QByteArray TPageMails::EchapperMotif(QByteArrayView valeur) {
    QByteArray r;
    r.reserve(valeur.size() * 2);
    for (const char c : valeur) {
        if (c == '\\' || c == '*' || c == '?' || c == '#' || c == '\xb5') r += '\\';
        r += c;
    }
    return r;
}

TPageMails::TResultat TPageMails::ActionListe(int ligne, int tag) {
    if (Occupe()) return raOccupe;
    if (tag == 0 || tag < -4 || tag > 4) return raRien;
    const TUnMessageMem* m = Record(ligne);
    if (!m) return raRien;
    const TGenrePopup& g = kGenres[std::abs(tag) - 1];
    const QByteArray valeur = g.Sujet ? sujetDecode(*m) : ExtraireAdresse(m->Emetteur).trimmed();
    if (valeur.isEmpty()) return raRien;
    TChercheSPAMs& cherche = m_moteur.ChercheSPAMs1;
    // The editor's lines, so that edits not applied yet are kept.
    QList<QByteArray> lignes =
        OnLireEditeurListe ? OnLireEditeurListe(g.Liste) : cherche.LignesListe(g.Liste);
    if (tag > 0) {
        if (cherche.TesterListe(g.Type, valeur)) return raRien;
        lignes << EchapperMotif(valeur);
    } else {
        // Lines added before patterns were escaped hold the raw value.
        const QByteArray echappe = EchapperMotif(valeur);
        qsizetype trouve = -1;
        for (qsizetype i = 0; i < lignes.size() && trouve < 0; ++i) {
            if (cp1252::egauxSansCasse(lignes[i], valeur) ||
                cp1252::egauxSansCasse(lignes[i], echappe))
                trouve = i;
        }
        if (trouve < 0) return raRien;
        lignes.removeAt(trouve);
    }
    QByteArray texte;
    for (const QByteArray& l : lignes)
        texte += l + "\r\n";
    AppliquerListe(g.Liste, texte);
    return raFait;
}

void TPageMails::AppliquerListe(TListeFiltre liste, const QByteArray& texte) {
    // Apply sets every list from its editor: the editor must hold the change.
    if (OnEcrireEditeurListe)
        OnEcrireEditeurListe(liste, texte);
    else
        m_moteur.ChercheSPAMs1.DefinirListe(liste, texte);
    if (OnAppliquer) {
        OnAppliquer();
    } else {
        m_moteur.Controleur().Appliquer(SaisieDepuisConfig(Config()));
    }
}

TPageMails::TResultat TPageMails::ChangerMode(int mode) {
    if (Occupe()) return raOccupe;
    TFiltreBayes* filtre = m_moteur.FiltreBayes();
    if (!filtre || mode < 0 || mode == filtre->ModeBayes) return raRien;
    filtre->ReglerModeBayes(mode);
    m_calculs.clear();
    if (OnCellulesChangees) OnCellulesChangees();
    return raFait;
}

TPageMails::TResultat TPageMails::ChangerCalcul(int calcul) {
    if (Occupe()) return raOccupe;
    TFiltreBayes* filtre = m_moteur.FiltreBayes();
    if (!filtre || calcul < 0 || calcul == filtre->CalculBayes) return raRien;
    filtre->ReglerCalculBayes(calcul);
    m_calculs.clear();
    if (OnCellulesChangees) OnCellulesChangees();
    return raFait;
}

TPageMails::TResultat TPageMails::RazBayes(bool avecQuestion) {
    if (Occupe()) return raOccupe;
    switch (m_moteur.BtnBayesienTotalClick(avecQuestion)) {
    case TReconstructionBayes::rrFait:
    case TReconstructionBayes::rrErreur:
        return raFait;
    case TReconstructionBayes::rrRefuse:
        return raEnCours;
    case TReconstructionBayes::rrAnnule:
        return raAnnule;
    default:
        return raOccupe;
    }
}
