// The main window's list pages: the nine list editors, the Bayesian ignore
// lists, the DNSBL page and its IP tests, and how they meet the options'
// Apply, Cancel and modified state and the engine's DNSBL events.

#include "core/arbre_options.h"
#include "i18n/resources.h"
#include "pages/listes_options.h"
#include "proxy/moteur.h"
#include "ui/boite_message.h"
#include "ui/form_kelvarin.h"
#include "ui/frame_info_filtres.h"
#include "ui/vue_comptes.h"
#include "ui/vue_dns.h"
#include "ui/vue_tests_ip.h"

#include <QPlainTextEdit>
#include <QPushButton>

QWidget* TFormKelvarin::creerPageListes(int page) {
    if (page == TArbreOptions::kPageDNS) {
        PageDNS = new TVueDNS(m_moteur.ChercheSPAMs1);
        connect(PageDNS, &TVueDNS::ServeursModifies, this, [this] {
            PageTestsIP->Rafraichir();
            RafraichirListesDNS();
        });
        return PageDNS;
    }
    if (page == TArbreOptions::kPageDerniersTests) {
        PageTestsIP = new TVueTestsIP(m_moteur.ChercheSPAMs1);
        connect(PageTestsIP, &TVueTestsIP::TestsModifies, this,
                &TFormKelvarin::RafraichirListesDNS);
        return PageTestsIP;
    }
    const int n = TListesOptions::CadreDeLaPage(page);
    if (n >= 0) {
        const TCadreListe& c = TListesOptions::Cadres()[size_t(n)];
        auto* cadre = new TFrameInfoFiltres;
        cadre->setObjectName(QLatin1String(c.Composant));
        FramesInfoFiltres[size_t(n)] = cadre;
        connect(cadre, &TFrameInfoFiltres::Modifie, this, [this] { modifie(true); });
        return new TPageListe(c.CleTitre, c.Titre, cadre);
    }
    const bool entetes = page == 14;
    auto* memo = new QPlainTextEdit;
    memo->setObjectName(entetes ? QStringLiteral("MemoIgnorerEntetes")
                                : QStringLiteral("MemoIgnorerMots"));
    memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    (entetes ? MemoIgnorerEntetes : MemoIgnorerMots) = memo;
    connect(memo, &QPlainTextEdit::textChanged, this, [this] {
        if (!m_construction) modifie(true);
    });
    return entetes ? new TPageListe("LabelIgnorerEntetes",
                                    u"En-têtes à ne pas prendre en compte (bayesiens)", memo)
                   : new TPageListe("LabelIgnorerMots",
                                    u"Mots à ne pas prendre en compte (bayesiens)", memo);
}

void TFormKelvarin::brancherListes() {
    TEvenementsMoteur& ev = m_moteur.Evenements;
    // An answer, a time-out or queued lookups: the refresh, when at most one
    // query is under way; a reduction changes the count at once.
    connect(&ev, &TEvenementsMoteur::TestsIPModifies, this, &TFormKelvarin::RafraichirListesDNS);
    connect(&ev, &TEvenementsMoteur::TestsIPReduits, this, [this] {
        PageTestsIP->Rafraichir();
        PageDNS->Redessiner();
    });
}

void TFormKelvarin::RafraichirListesDNS() {
    if (!PageDNS->Page().RafraichirMaintenant()) return;
    PageDNS->Redessiner();
    PageTestsIP->Rafraichir();
    PageComptes->Rafraichir();
}

void TFormKelvarin::chargerListes() {
    const TSaisieListes s = LireListes(m_moteur);
    const bool avant = m_construction;
    m_construction = true;
    for (int i = 0; i < TListesOptions::kNbCadres; ++i)
        FramesInfoFiltres[size_t(i)]->Initialiser(TListesOptions::Cadres()[size_t(i)].Mode,
                                                  s.Cadres[size_t(i)].Liste,
                                                  s.Cadres[size_t(i)].RegExp);
    MemoIgnorerEntetes->setPlainText(s.EntetesIgnorees);
    MemoIgnorerMots->setPlainText(s.MotsIgnores);
    m_construction = avant;
    // The name column of the DNSBL list is computed again with the count.
    PageDNS->Rafraichir();
    PageTestsIP->Rafraichir();
}

void TFormKelvarin::modeListes(bool simple) {
    for (TFrameInfoFiltres* f : FramesInfoFiltres)
        f->AppliquerExpert(!simple);
}

TSaisieListes TFormKelvarin::saisieListes() const {
    TSaisieListes s;
    for (int i = 0; i < TListesOptions::kNbCadres; ++i) {
        s.Cadres[size_t(i)].Liste = FramesInfoFiltres[size_t(i)]->Texte();
        s.Cadres[size_t(i)].RegExp = FramesInfoFiltres[size_t(i)]->TexteRegExp();
    }
    s.EntetesIgnorees = MemoIgnorerEntetes->toPlainText();
    s.MotsIgnores = MemoIgnorerMots->toPlainText();
    return s;
}

TFrameInfoFiltres* TFormKelvarin::cadreDeListe(TListeFiltre liste) const {
    const auto& cadres = TListesOptions::Cadres();
    for (size_t n = 0; n < cadres.size(); ++n)
        if (cadres[n].Liste == liste) return FramesInfoFiltres[n];
    return nullptr;
}

bool TFormKelvarin::ModifierListe(int type, const QString& ligne, bool ajouter) {
    const int n = TListesOptions::CadreDuType(type);
    if (n < 0 || Occupe()) return false;
    TFrameInfoFiltres* f = FramesInfoFiltres[size_t(n)];
    QString texte = f->Texte();
    if (!TListesOptions::ModifierLigne(texte, ligne, ajouter)) return false;
    f->setTexte(texte);
    BtnAppliquerClick();
    return true;
}
