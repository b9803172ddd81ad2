#include "proxy/verdict.h"

#include "accounts/mon_dossier_bis.h"
#include "bayes/filtre_bayes.h"
#include "core/config.h"
#include "core/cp1252.h"
#include "core/date_time.h"
#include "core/trace.h"
#include "i18n/resources.h"
#include "mime/adresse.h"
#include "mime/encodage_decodage.h"
#include "mime/mon_mime_decode.h"
#include "spamsearch/cherche_spams.h"

#include <QPointer>

#include <algorithm>
#include <cmath>
#include <exception>
#include <vector>

namespace {

QString texteIP(TAdresseIP ip) {
    return cp1252::versUnicode(IPVersChaine(ip));
}

QString nomServeur(const TUneRechercheDNS& r) {
    return r.Serveur ? cp1252::versUnicode(r.Serveur->Nom) : QStringLiteral("?");
}

QString motEtat(quint8 etat) {
    switch (etat) {
    case erPasCherche:
        return Res("princ09", u"pas cherché");
    case erEnCours:
        return Res("princ10", u"recherche en cours");
    case erSpam:
        return Res("princ11", u"spam");
    case erPasSpam:
        return Res("princ12", u"pas spam");
    case erTimeOut:
        return Res("princ13", u"timeout");
    case erAbandon:
        return Res("princ14", u"timeout - abandon");
    default:
        return QStringLiteral("?");
    }
}

// A lookup that will not change any more: listed, not listed, or timed out.
bool estConnu(quint8 etat) {
    return etat == erSpam || etat == erPasSpam || etat == erTimeOut || etat == erAbandon;
}

QByteArray texteGenre(int code) {
    switch (code) {
    case cvNoirIP:
    case cvBlancIP:
        return cp1252::depuisUnicode(Res("princ33", u"(ip)"));
    case cvNoirEmetteur:
    case cvBlancEmetteur:
        return cp1252::depuisUnicode(Res("princ34", u"(emetteur)"));
    case cvNoirSujet:
    case cvBlancSujet:
        return cp1252::depuisUnicode(Res("princ35", u"(sujet)"));
    default:
        return cp1252::depuisUnicode(Res("princ125", u"(en-tête)"));
    }
}

void exception(int session, const char* lieu, const std::exception& e) {
    TraceException(session, QString::fromLatin1(lieu), TexteErreur(e));
}

// The account address occurs in one of the addresses of a To or Cc value.
// Each recipient is split from its display name first: a name that merely
// spells the account's address does not count.
bool adresseDans(QByteArrayView valeur, const QByteArray& email) {
    qsizetype debut = 0;
    bool guillemets = false;
    int chevrons = 0, parentheses = 0;
    const auto essayer = [&](qsizetype fin) {
        QByteArray nom, adresse;
        SeparerAdresse(valeur.sliced(debut, fin - debut), nom, adresse);
        debut = fin + 1;
        return !adresse.isEmpty() && cp1252::minuscules(adresse).contains(email);
    };
    for (qsizetype i = 0; i < valeur.size(); ++i) {
        const char c = valeur[i];
        if (c == '\\') {
            ++i;
        } else if (c == '"') {
            guillemets = !guillemets;
        } else if (guillemets) {
            continue;
        } else if (c == '<') {
            ++chevrons;
        } else if (c == '>') {
            chevrons = std::max(0, chevrons - 1);
        } else if (c == '(') {
            ++parentheses;
        } else if (c == ')') {
            parentheses = std::max(0, parentheses - 1);
        } else if (c == ',' && chevrons == 0 && parentheses == 0) {
            if (essayer(i)) return true;
        }
    }
    return debut < valeur.size() && essayer(valeur.size());
}

} // namespace

// ---------------------------------------------------------------- rules

void ExaminerLigneEntete(TChercheSPAMs& cherche, QByteArrayView ligne, QByteArray& champ,
                         TAdressesRelais& adresses, uint8_t& verdictListe) {
    champ = NomChampEntete(ligne, champ);
    if (champ == "received")
        ExtraireIPLigne(ligne, adresses,
                        [&cherche](TAdresseIP ip) { return cherche.EstIPInternet(ip); });
    if (verdictListe == cvBlancEntete) return;
    if (cherche.TesterListe(tlBlancheEntete, ligne))
        verdictListe = cvBlancEntete;
    else if (verdictListe == cvAucun && cherche.TesterListe(tlNoireEntete, ligne))
        verdictListe = cvNoirEntete;
}

int VerdictListes(const TChercheSPAMs& cherche, const TEntreeListes& e) {
    if (e.VerdictListe != cvAucun) return e.VerdictListe;
    auto adresseListee = [&](int type) {
        if (!cherche.ListeRenseignee(type)) return false;
        for (int i = e.Adresses.nb - 1; i >= 0; --i)
            if (cherche.TesterListe(type, IPVersChaine(e.Adresses[i]))) return true;
        return false;
    };
    if (cherche.TesterListe(tlBlancheSujet, e.Sujet)) return cvBlancSujet;
    if (cherche.TesterListe(tlBlancheEmetteur, e.Emetteur)) return cvBlancEmetteur;
    if (adresseListee(tlBlancheIP)) return cvBlancIP;
    if (cherche.TesterListe(tlNoireSujet, e.Sujet)) return cvNoirSujet;
    if (cherche.TesterListe(tlNoireEmetteur, e.Emetteur)) return cvNoirEmetteur;
    if (adresseListee(tlNoireIP)) return cvNoirIP;
    if (e.Destinataire) {
        // An empty account address is found nowhere.
        if (e.EMail.isEmpty() || (!adresseDans(e.To, e.EMail) && !adresseDans(e.Cc, e.EMail)))
            return cvHorsDestinataire;
    }
    return cvAucun;
}

TDecisionVerdict DeciderVerdict(const TEntreeVerdict& e, TUnMessageMem& m,
                                const std::function<double()>& scoreBayes) {
    static constexpr QByteArrayView kX = "X-Kelvarin: ";
    static constexpr QByteArrayView kXMinuscule = "x-Kelvarin: ";
    static constexpr QByteArrayView kXEspace = "X-Kelvarin : ";
    static constexpr QByteArrayView kCRLF = "\r\n";

    TDecisionVerdict d;
    int code = e.Code;
    QByteArray& x = d.Resultat.TexteXKelvarin;
    auto ligne = [&x](QByteArrayView entete, const QByteArray& texte) {
        x += entete;
        x += texte;
        x += kCRLF;
    };

    // Step 3: the first X-Kelvarin text.
    m.SpamIP = false;
    m.ServeurDNSBL = 0;
    m.ReponseDNSBL.clear();
    bool spamIP = false;
    if (code == cvHorsDestinataire) {
        ligne(kX, cp1252::depuisUnicode(
                      Res("princ129", u"Vrai mail non présent dans les en-têtes To: et Cc:")) +
                      ' ');
    } else if (EstCodeNoir(code)) {
        spamIP = true;
        ligne(kX, cp1252::depuisUnicode(Res("princ31", u"liste noire")) + ' ' + texteGenre(code));
    } else if (EstCodeBlanc(code)) {
        ligne(kX, cp1252::depuisUnicode(Res("princ32", u"liste blanche")) + ' ' + texteGenre(code));
    } else if (code == cvDNSBL || code == cvSansTestIP) {
        if (e.SpamSiPasSujetFrom && e.From.trimmed().isEmpty() && e.Subject.trimmed().isEmpty()) {
            ligne(kXMinuscule,
                  cp1252::depuisUnicode(Res("princ127", u"Pas de sujet ni d'émetteur")));
            code = cvSansSujetEmetteur;
        } else if (code == cvSansTestIP) {
            ligne(kX, cp1252::depuisUnicode(Res("princ37", u"test IP désactivé")));
        } else if (const TUneRechercheDNS* r = e.DNSBL) {
            if (r->Etat == erSpam) {
                spamIP = true;
                m.SpamIP = true;
                m.ServeurDNSBL = r->Serveur ? r->Serveur->Numero : 0;
                m.ReponseDNSBL = r->Reponse;
                ligne(kX, cp1252::depuisUnicode(
                              Format(Res("princ40", u"spam IP=%s"), {texteIP(r->IP)})));
                ligne(kX, cp1252::depuisUnicode(Format(Res("princ41", u"résultat=%s"),
                                                       {cp1252::versUnicode(r->Reponse)})));
                ligne(kX, r->Serveur ? cp1252::depuisUnicode(
                                           Format(Res("princ42", u"règle=%s"), {nomServeur(*r)}))
                                     : cp1252::depuisUnicode(Res("princ43", u"règle ?")));
            } else if (r->Etat == erTimeOut || r->Etat == erAbandon) {
                ligne(kX, cp1252::depuisUnicode(Res("princ39", u"timeout")));
            } else {
                // Not listed (a result still pending never reaches this step).
                ligne(kX, cp1252::depuisUnicode(Res("princ38", u"ok")));
            }
        } else {
            ligne(kX, cp1252::depuisUnicode(Res("princ36", u"pas d'IP")));
        }
    }
    d.Code = code;
    const bool liste = EstCodeNoir(code) || EstCodeBlanc(code);
    const bool testable = code == cvDNSBL || code == cvSansTestIP;

    // Step 4: the Bayesian part.
    m.ProbaBayes = 0;
    double p = -1;
    bool spamBayes = false;
    TResultatVerdict& r = d.Resultat;
    r.SpamIP = spamIP;
    if (e.CommandeTOP) {
        ligne(kXEspace,
              cp1252::depuisUnicode(Res("princ120", u"Pas de test bayesiens sur les en-têtes")));
        r.TestBayes = false;
        if (EstCodeNoir(code))
            r.Niveau = nsSpam;
        else if (EstCodeBlanc(code))
            r.Niveau = nsBon;
        else
            r.Niveau = code == cvSansSujetEmetteur || spamIP ? nsSpam : nsBon;
        r.Probabilite = -1;
        return d;
    }
    if (testable && e.FiltreBayes) {
        p = scoreBayes ? scoreBayes() : 50.0;
        if (!std::isfinite(p)) p = 50.0;
        spamBayes = p > 50;
        ligne(kXEspace, cp1252::depuisUnicode(Format(
                            Res("princ44", u"spam bayesien=%s"),
                            {cp1252::versUnicode(FormaterProbabilite(p, e.SeparateurDecimal))})));
        m.ProbaBayes = qint32(std::trunc(p * 10));
    } else if (testable) {
        ligne(kXEspace, cp1252::depuisUnicode(Res("princ45", u"test bayesien désactivé")));
    }

    // Step 5: the level.
    TNiveauSpam niveau = nsBon;
    if (EstCodeNoir(code) || code == cvHorsDestinataire) {
        niveau = nsSpam;
    } else if (EstCodeBlanc(code)) {
        niveau = nsBon;
    } else if (code == cvSansSujetEmetteur) {
        niveau = nsSpam;
        p = 100;
        m.ProbaBayes = 1000;
    } else if (spamIP && spamBayes) {
        niveau = nsSpam;
    } else if (!e.FiltreBayes) {
        niveau = spamIP ? nsSpam : nsBon;
    } else if (!e.FiltreIP) {
        niveau = p > 50 ? nsSpam : nsBon;
    } else if (spamIP) {
        niveau = p <= e.PourcentageSpam2 ? nsSpamIP : nsSpam;
    } else if (spamBayes) {
        niveau = p <= e.PourcentageSpam ? nsSpamBayes : nsSpam;
    }
    r.Niveau = niveau;
    r.SpamBayes = spamBayes;
    r.Probabilite = p;

    // Steps 6 and 7: learning and the record's flags.
    d.Apprendre = testable && e.FiltreBayes;
    const bool decide = liste || code == cvHorsDestinataire || code == cvSansSujetEmetteur;
    m.ListeBlanche = EstCodeBlanc(code);
    m.ListeNoire = EstCodeNoir(code);
    m.HorsDestinataire = code == cvHorsDestinataire;
    m.TestIP = e.FiltreIP && !decide;
    m.TestBayes = e.FiltreBayes && !decide;
    m.Spam = niveau != nsBon;
    m.Reception = datetime::maintenant();
    r.TestBayes = m.TestBayes;
    d.Archiver = true;
    return d;
}

// ---------------------------------------------------------------- TVerdict

TVerdict::TVerdict(TChercheSPAMs& cherche, TMonMimeDecode& decodeur, TMonDossierBis& archive,
                   const TConfig& reglages)
    : m_cherche(cherche), m_decodeur(decodeur), m_archive(archive), m_reglages(reglages),
      m_separateur(SeparateurDecimalSysteme()) {}

TVerdict::~TVerdict() = default;

void TVerdict::Brancher(TChercheSPAMs& cherche) {
    QPointer<TVerdict> moi(this);
    cherche.OnReponseDNS = [moi](TChercheSPAMs&, TUneRechercheDNS& x, bool partiel) {
        if (moi) moi->ReponseDNS(x, partiel);
    };
    cherche.OnTimeOut = [moi](TChercheSPAMs&, TUneRechercheDNS& x) {
        if (moi) moi->TimeOut(x);
    };
}

void TVerdict::LigneEntete(TMessageRecupere& m, QByteArrayView ligne) {
    ExaminerLigneEntete(m_cherche, ligne, m.ChampEntete, m.AdressesIP, m.VerdictListe);
}

TVerdict::TBilan TVerdict::bilan(const TMessageRecupere& m, bool compter) {
    TBilan b;
    for (int i = m.AdressesIP.nb - 1; i >= 0; --i) {
        PUneRechercheDNS r = m_cherche.ResultatIP(m.AdressesIP[i], false);
        if (!r) {
            b.sansResultat = true;
            continue;
        }
        if (compter) ++r->NbUtilisation;
        if (!b.premier) b.premier = r;
        if (r->Etat == erSpam) {
            b.liste = r;
            break;
        }
        if (!estConnu(r->Etat)) b.enCours = true;
    }
    return b;
}

void TVerdict::VerifierIP(TSessionJugee& s, bool corps) {
    try {
        verifierIP(s, corps);
    } catch (const std::exception& e) {
        exception(s.Numero(), corps ? "VerifierIP (corps)" : "VerifierIP (en-tete)", e);
        // A complete message is delivered all the same, never left waiting.
        if (corps) VerdictFinal(s, cvDNSBL, nullptr);
    }
}

void TVerdict::verifierIP(TSessionJugee& s, bool corps) {
    const int n = s.Numero();
    TMessageRecupere& m = s.Message();
    if (corps) {
        TEntreeListes e;
        e.VerdictListe = m.VerdictListe;
        e.Emetteur = ExtraireAdresse(m.From);
        const TEncodageDecodage* enc = m_decodeur.EncodageDecodage();
        e.Sujet = enc ? cp1252::depuisUnicode(enc->DecoderEntete(m.Subject)) : m.Subject;
        e.To = m.To;
        e.Cc = m.Cc;
        e.Adresses = m.AdressesIP;
        if (m.Compte) {
            e.Destinataire = m.Compte->Destinataire;
            e.EMail = cp1252::minuscules(m.Compte->EMail);
        }
        const int code = VerdictListes(m_cherche, e);
        if (code != cvAucun) {
            VerdictFinal(s, code, nullptr);
            return;
        }
        Trace(n, Res("princ17", u"Vérification des ips dans le message (corps)"));
    } else {
        Trace(n, Res("princ18", u"Vérification des ips dans le message (en-tête)"));
    }
    if (m.Compte && !m.Compte->FiltreIP) {
        if (corps) VerdictFinal(s, cvSansTestIP, nullptr);
        return;
    }
    if (m.AdressesIP.nb == 0) {
        Trace(n, Res("princ116", u"Pas d'ip dans le message"));
        if (corps) VerdictFinal(s, cvDNSBL, nullptr);
        return;
    }
    const TBilan b = bilan(m, true);
    m.AttenteDNS = corps;
    if (b.liste) {
        if (corps) VerdictFinal(s, cvDNSBL, b.liste);
        return;
    }
    if (b.sansResultat || b.enCours) {
        TraceFormat(n, QStringLiteral(" + ") + Res("princ106", u"Recherche ip à traiter : %d"),
                    m.AdressesIP.nb);
        const bool afficher = m_reglages.AfficherDNSBL;
        for (int i = m.AdressesIP.nb - 1; i >= 0; --i) {
            const TAdresseIP ip = m.AdressesIP[i];
            bool cree = false;
            m_cherche.ResultatIP(ip, true, &cree);
            // With no active server nothing was queued.
            const bool demande = cree && m_cherche.ResultatIP(ip, false);
            if (afficher)
                TraceFormat(n,
                            QStringLiteral(" + ") + (demande ? Res("princ19", u"demande ip : %s")
                                                             : Res("princ20", u"ignore ip : %s")),
                            texteIP(ip));
        }
        if (OnRafraichirTestsIP) OnRafraichirTestsIP();
        TraceFormat(n, QStringLiteral(" + ") + Res("princ21", u"Lancement recherche ip (%d,%d)"),
                    m_cherche.NbSocketDNS(), m_cherche.NbSocketDNSFree());
        m_cherche.LancerRecherches();
        TraceFormat(n, QStringLiteral(" + ") + Res("princ22", u"Recherche ip en cours (%d,%d)"),
                    m_cherche.NbSocketDNS(), m_cherche.NbSocketDNSFree());
        // An answer may already have concluded. When no lookup waits or runs
        // for any address (no active server), no answer will ever come.
        if (!corps || m.VerdictFait) return;
        const TBilan apres = bilan(m, false);
        if (apres.liste) {
            VerdictFinal(s, cvDNSBL, apres.liste);
        } else if (!apres.enCours) {
            Trace(n, Res("princ117", u"Connait toutes les ips"));
            VerdictFinal(s, cvDNSBL, apres.premier);
        }
        return;
    }
    if (corps) {
        Trace(n, Res("princ117", u"Connait toutes les ips"));
        VerdictFinal(s, cvDNSBL, b.premier);
    }
}

template <typename F> void TVerdict::pourSessionsEnAttente(F&& f) {
    if (!NumerosSessions || !Session) return;
    // Judging a session may deliver, trace or end it: numbers first.
    for (int numero : NumerosSessions()) {
        TSessionJugee* s = Session(numero);
        if (!s || !s->Ouverte() || !s->Message().AttenteDNS || s->Message().VerdictFait) continue;
        f(*s);
    }
}

void TVerdict::RevoirSessionsEnAttente() {
    try {
        // Lookups that were only queued for a server are gone with it.
        pourSessionsEnAttente([&](TSessionJugee& s) { RevoirSession(s); });
    } catch (const std::exception& e) {
        exception(-1, "ServeurRetire", e);
    }
}

void TVerdict::RevoirSession(TSessionJugee& s) {
    const TMessageRecupere& m = s.Message();
    if (!s.Ouverte() || !m.AttenteDNS || m.VerdictFait) return;
    PUneRechercheDNS dernier = nullptr;
    for (int i = m.AdressesIP.nb - 1; i >= 0; --i) {
        const TAdresseIP ip = m.AdressesIP[i];
        PUneRechercheDNS r = m_cherche.ResultatIP(ip, false);
        dernier = r;
        if (!r) {
            TraceFormat(s.Numero(), QStringLiteral(" + ") + Res("princ60", u"ip introuvable : %s"),
                        texteIP(ip));
            continue;
        }
        if (r->Etat == erSpam) {
            VerdictFinal(s, cvDNSBL, r);
            return;
        }
        // A time-out after another server listed the address is final too.
        if (r->Etat == erPasSpam || r->Etat == erAbandon || r->Etat == erTimeOut) continue;
        return; // still waiting
    }
    VerdictFinal(s, cvDNSBL, dernier);
}

void TVerdict::ReponseDNS(TUneRechercheDNS& x, bool partiel) {
    try {
        if (m_reglages.AfficherDNSBL)
            TraceFormat(-1,
                        QStringLiteral(" + ") +
                            Res("princ59", u"réponse ip : %s (%s) = %s ; reste=%d ; partiel=%s"),
                        texteIP(x.IP), nomServeur(x), motEtat(x.Etat), m_cherche.NbSocketDNS() - 1,
                        partiel ? QStringLiteral("oui") : QStringLiteral("non"));
        if (partiel) return;
        const TAdresseIP ip = x.IP;
        const quint8 etat = x.Etat;
        if (etat == erSpam) {
            // The record may go while sessions are judged: use the current result.
            pourSessionsEnAttente([&](TSessionJugee& s) {
                if (!s.Message().AdressesIP.contient(ip)) return;
                VerdictFinal(s, cvDNSBL, &x);
            });
        } else if (etat == erPasSpam || etat == erAbandon) {
            pourSessionsEnAttente([&](TSessionJugee& s) { RevoirSession(s); });
        }
    } catch (const std::exception& e) {
        exception(-1, "ReponseDNS", e);
    }
}

void TVerdict::TimeOut(TUneRechercheDNS& x) {
    try {
        TraceFormat(
            -1, QStringLiteral(" + ") + Res("princ61", u"TIME OUT recherche IP (%s, %s, reste=%d)"),
            texteIP(x.IP), nomServeur(x), m_cherche.NbSocketDNS() - 1);
        if (m_reglages.BeepTimeOut && OnBip) OnBip();
    } catch (const std::exception& e) {
        exception(-1, "TimeOut", e);
    }
}

void TVerdict::archiver(TSessionJugee& s) {
    TMessageRecupere& m = s.Message();
    PUnCompteBis compte = m.Compte;
    if (!compte) return;
    QString erreur;
    bool ok = false;
    try {
        if (m_archive.Compte() != compte->Numero) m_archive.Ouvrir(compte);
        ok = m_archive.Compte() == compte->Numero &&
             m_archive.AjouterMessage(m.MessageEnCours, m.Flux, nullptr, &erreur);
    } catch (const std::exception& e) {
        erreur = TexteErreur(e);
    }
    if (ok) return;
    Trace(s.Numero(), Res("princ46", u"Exception : Impossible de mémoriser le mail"));
    if (!erreur.isEmpty()) Trace(s.Numero(), erreur);
}

void TVerdict::VerdictFinal(TSessionJugee& s, int code, const TUneRechercheDNS* dnsbl) {
    TMessageRecupere& m = s.Message();
    if (m.VerdictFait) return;
    m.VerdictFait = true; // judged once, whatever the handlers below do
    if (m.EnvoiFictif) {
        s.Livrer(TResultatVerdict{});
        return;
    }
    TResultatVerdict resultat;
    try {
        TEntreeVerdict e;
        e.Code = code;
        e.DNSBL = dnsbl;
        e.CommandeTOP = m.Commande == cmTop;
        if (m.Compte) {
            e.FiltreIP = m.Compte->FiltreIP;
            e.FiltreBayes = m.Compte->FiltreBayes;
        }
        e.From = m.From;
        e.Subject = m.Subject;
        e.SpamSiPasSujetFrom = m_reglages.SpamSiPasSujetFrom;
        e.PourcentageSpam = m_reglages.PourcentageSpam;
        e.PourcentageSpam2 = m_reglages.PourcentageSpam2;
        e.SeparateurDecimal = m_separateur;
        TFiltreBayes* bayes = FiltreBayes ? FiltreBayes() : nullptr;
        const TDecisionVerdict d = DeciderVerdict(e, m.MessageEnCours, [&] {
            double bon = 0, spam = 50;
            if (bayes) bayes->ScoreBayes(m_decodeur, m.Flux, s.Numero(), bon, spam);
            return spam;
        });
        resultat = d.Resultat;
        if (d.Apprendre && bayes)
            bayes->Base().Apprendre(bayes->DocReception, resultat.Niveau != nsBon);
        if (d.Archiver) archiver(s);
    } catch (const std::exception& e) {
        // The message still goes out, unmarked, rather than never.
        exception(s.Numero(), "VerdictFinal", e);
    }
    s.Livrer(resultat);
}
