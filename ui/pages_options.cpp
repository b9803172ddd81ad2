#include "ui/pages_options.h"

#include "core/cp1252.h"
#include "core/dns_machine.h"
#include "i18n/resources.h"
#include "ui/traduire_fenetre.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

class TFiltreChiffres : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::KeyPress) {
            auto* k = static_cast<QKeyEvent*>(e);
            const QString t = k->text();
            if (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter) return true;
            if (!t.isEmpty() && !(k->modifiers() & Qt::ControlModifier)) {
                for (QChar c : t)
                    if (!c.isDigit() && c.unicode() >= 0x20) return true;
            }
        }
        return QObject::eventFilter(o, e);
    }
};

template <typename W> W* cree(QWidget* parent, const char* nom) {
    auto* w = new W(parent);
    w->setObjectName(QLatin1String(nom));
    return w;
}
QCheckBox* caseACocher(QWidget* parent, const char* nom, const char16_t* texte) {
    auto* c = cree<QCheckBox>(parent, nom);
    c->setText(Res(nom, texte));
    return c;
}
QLineEdit* edition(QWidget* parent, const char* nom, bool chiffres = false) {
    auto* e = cree<QLineEdit>(parent, nom);
    if (chiffres) {
        FiltrerChiffres(*e);
        e->setMaximumWidth(90);
    }
    return e;
}
QLabel* etiquette(QWidget* parent, const char* nom, const char16_t* texte) {
    auto* l = cree<QLabel>(parent, nom);
    l->setText(Res(nom, texte));
    return l;
}
QWidget* ligne(QWidget* parent, std::initializer_list<QWidget*> ws) {
    auto* w = new QWidget(parent);
    auto* h = new QHBoxLayout(w);
    h->setContentsMargins(0, 0, 0, 0);
    for (QWidget* x : ws)
        h->addWidget(x);
    h->addStretch();
    return w;
}

} // namespace

void FiltrerChiffres(QLineEdit& edit) {
    edit.installEventFilter(new TFiltreChiffres(&edit));
}

TPageConfiguration::TPageConfiguration(QWidget* parent) : QWidget(parent) {
    auto* v = new QVBoxLayout(this);
    auto* texte = etiquette(
        this, "LabelExplicationMode",
        u"Kelvarin offre deux modes de fonctionnement. Le mode simplifié ne montre que les pages "
        u"essentielles : les listes blanches et noires des émetteurs et des sujets, les mots et "
        u"en-têtes ignorés, les comptes, les statistiques et les mails reçus. Le mode expert "
        u"montre toutes les pages : options générales, marquage des spams, autres en-têtes, "
        u"adresses IP, serveurs DNSBL et trace des connexions.");
    texte->setWordWrap(true);
    v->addWidget(texte);
    v->addSpacing(16);
    v->addWidget(etiquette(this, "LabelChoixMode",
                           u"Sélectionnez ci-dessous le mode de fonctionnement souhaité"));
    BtnModeSimplifie = cree<QPushButton>(this, "BtnModeSimplifie");
    BtnModeSimplifie->setText(Res("BtnModeSimplifie", u"Mode simplifié"));
    BtnModeExpert = cree<QPushButton>(this, "BtnModeExpert");
    BtnModeExpert->setText(Res("BtnModeExpert", u"Mode expert"));
    auto* groupe = new QButtonGroup(this);
    for (QPushButton* b : {BtnModeSimplifie, BtnModeExpert}) {
        b->setCheckable(true);
        b->setMinimumSize(160, 48);
    }
    groupe->addButton(BtnModeSimplifie, 0);
    groupe->addButton(BtnModeExpert, 1);
    groupe->setExclusive(true);
    v->addWidget(ligne(this, {BtnModeSimplifie, BtnModeExpert}));
    v->addStretch();
    connect(groupe, &QButtonGroup::idClicked, this, [this](int id) { emit ModeChoisi(id == 0); });
}

void TPageConfiguration::MontrerMode(bool simple) {
    (simple ? BtnModeSimplifie : BtnModeExpert)->setChecked(true);
}

TPageGeneral::TPageGeneral(QWidget* parent) : QWidget(parent) {
    auto* grille = new QGridLayout(this);
    auto* reseau = new QGroupBox(Res("GroupBoxReseau", u"Réseau"), this);
    reseau->setObjectName(QStringLiteral("GroupBoxReseau"));
    auto* f = new QFormLayout(reseau);
    EditPortEcoute = edition(reseau, "EditPortEcoute");
    EditPortMail = edition(reseau, "EditPortMail");
    f->addRow(etiquette(reseau, "LabelPortEcoute", u"Port écouté :"), EditPortEcoute);
    LabelPortEffectif = new QLabel(reseau);
    LabelPortEffectif->setObjectName(QStringLiteral("LabelPortEffectif"));
    LabelPortEffectif->setWordWrap(true);
    LabelPortEffectif->setStyleSheet(QStringLiteral("color: #b00000;"));
    LabelPortEffectif->hide();
    MarquerTexteProgramme(LabelPortEffectif); // set by the program, never from a language file
    f->addRow(LabelPortEffectif);
    f->addRow(etiquette(reseau, "LabelPortMail", u"Port POP3 :"), EditPortMail);
    CBoxSecuriteAmont = cree<QComboBox>(reseau, "CBoxSecuriteAmont");
    const char16_t* securites[] = {u"TLS si le serveur le propose", u"TLS exigé",
                                   u"Texte clair uniquement"};
    for (int i = 0; i < 3; ++i)
        CBoxSecuriteAmont->addItem(
            Res(qPrintable(QStringLiteral("CBoxSecuriteAmont%1").arg(i)), securites[i]));
    f->addRow(etiquette(reseau, "LabelSecuriteAmont", u"Connexion au serveur :"),
              CBoxSecuriteAmont);
    RadioGroupFormat = cree<QGroupBox>(this, "RadioGroupFormat");
    RadioGroupFormat->setTitle(Res("RadioGroupFormat", u"Configuration logiciel de courrier"));
    auto* rf = new QVBoxLayout(RadioGroupFormat);
    m_format = new QButtonGroup(this);
    const char16_t* formats[] = {u"NomUtilisateur@NomDuServeur",
                                 u"NomDuServeur/Port/NomUtilisateur",
                                 u"Les 2 formats sont acceptés"};
    for (int i = 0; i < 3; ++i) {
        auto* r = new QRadioButton(RadioGroupFormat);
        r->setObjectName(QStringLiteral("RadioGroupFormat%1").arg(i));
        r->setText(Res(qPrintable(r->objectName()), formats[i]));
        m_format->addButton(r, i);
        rf->addWidget(r);
    }

    auto* dns = new QGroupBox(Res("GroupBoxDNS", u"Recherches DNSBL"), this);
    dns->setObjectName(QStringLiteral("GroupBoxDNS"));
    auto* fd = new QFormLayout(dns);
    CheckBoxDNS = caseACocher(dns, "CheckBoxDNS", u"Serveur de DNS : automatique");
    fd->addRow(CheckBoxDNS);
    LabelDNS = etiquette(dns, "LabelDNS", u"Utiliser le DNS :");
    EditDNS = edition(dns, "EditDNS");
    fd->addRow(LabelDNS, EditDNS);
    EditNbSocket = edition(dns, "EditNbSocket", true);
    fd->addRow(etiquette(dns, "LabelNbSocket", u"Nombre de recherches simultanées :"),
               EditNbSocket);
    EditStockage = edition(dns, "EditStockage", true);
    fd->addRow(etiquette(dns, "LabelStockage", u"Durée validité des tests IPs :"),
               ligne(dns, {EditStockage, etiquette(dns, "LabelHeures", u"heures")}));
    EditNbTentative = edition(dns, "EditNbTentative", true);
    fd->addRow(etiquette(dns, "LabelNbTentative", u"Nombre de tentatives de recherche :"),
               EditNbTentative);
    EditTimeOut = edition(dns, "EditTimeOut", true);
    fd->addRow(etiquette(dns, "LabelTimeOut", u"Timeout recherche IP :"),
               ligne(dns, {EditTimeOut, etiquette(dns, "LabelMs", u"ms")}));

    auto* divers = new QGroupBox(Res("GroupBoxDivers", u"Divers"), this);
    divers->setObjectName(QStringLiteral("GroupBoxDivers"));
    auto* vd = new QVBoxLayout(divers);
    CheckBoxReemettre =
        caseACocher(divers, "CheckBoxReemettre", u"Réemettre automatiquement un message non spam");
    CheckBoxTimeOut = caseACocher(divers, "CheckBoxTimeOut", u"Beep sur timeout");
    CheckBoxAnimerIcone =
        caseACocher(divers, "CheckBoxAnimerIcone", u"Animer l'icone pendant la réception");
    CheckBoxPatienter = caseACocher(divers, "CheckBoxPatienter", u"Afficher l'écran de démarrage");
    CheckBoxReduire = caseACocher(divers, "CheckBoxReduire", u"Réduire Kelvarin au démarrage");
    CheckBoxXP = caseACocher(divers, "CheckBoxXP", u"Ecran et menu au format XP");
    CheckBoxSpamSiPasSujetFrom =
        caseACocher(divers, "CheckBoxSpamSiPasSujetFrom",
                    u"Traiter comme spam les messages sans sujet ni émetteur");
    for (QCheckBox* c : {CheckBoxReemettre, CheckBoxTimeOut, CheckBoxAnimerIcone, CheckBoxPatienter,
                         CheckBoxReduire, CheckBoxXP, CheckBoxSpamSiPasSujetFrom})
        vd->addWidget(c);

    grille->addWidget(reseau, 0, 0);
    grille->addWidget(RadioGroupFormat, 1, 0);
    grille->addWidget(dns, 0, 1, 2, 1);
    grille->addWidget(divers, 2, 0, 1, 2);
    grille->setRowStretch(3, 1);

    const auto change = [this] {
        if (!m_chargement) emit Modifie();
    };
    for (QLineEdit* e : {EditPortEcoute, EditPortMail, EditDNS, EditNbSocket, EditStockage,
                         EditNbTentative, EditTimeOut})
        connect(e, &QLineEdit::textEdited, this, change);
    for (QCheckBox* c :
         {CheckBoxDNS, CheckBoxReemettre, CheckBoxTimeOut, CheckBoxAnimerIcone, CheckBoxPatienter,
          CheckBoxReduire, CheckBoxXP, CheckBoxSpamSiPasSujetFrom})
        connect(c, &QCheckBox::toggled, this, change);
    connect(m_format, &QButtonGroup::idToggled, this, change);
    connect(CBoxSecuriteAmont, &QComboBox::activated, this, change);
    connect(CheckBoxDNS, &QCheckBox::toggled, this, [this] { regleDNS(); });
}

void TPageGeneral::regleDNS() {
    const bool auto_ = CheckBoxDNS->isChecked();
    EditDNS->setEnabled(!auto_);
    LabelDNS->setEnabled(!auto_);
    if (auto_ && !m_chargement) EditDNS->setText(cp1252::versUnicode(PremierServeurDNS()));
}

void TPageGeneral::MontrerPortEffectif(const QString& texte) {
    LabelPortEffectif->setText(texte);
    LabelPortEffectif->setVisible(!texte.isEmpty());
}

void TPageGeneral::Charger(const TSaisieOptions& s) {
    m_chargement = true;
    EditPortEcoute->setText(s.PortEcoute);
    EditPortMail->setText(s.PortMail);
    CheckBoxDNS->setChecked(s.DNSAuto);
    EditDNS->setText(s.AdresseDNS);
    EditNbSocket->setText(s.NbSocket);
    EditStockage->setText(s.DureeStockage);
    EditNbTentative->setText(s.NbTentativeRecherche);
    EditTimeOut->setText(s.TimeOutRecherche);
    CheckBoxReemettre->setChecked(s.ReemettreSpam);
    CheckBoxTimeOut->setChecked(s.BeepTimeOut);
    CheckBoxAnimerIcone->setChecked(s.AnimerIcone);
    CheckBoxPatienter->setChecked(s.PatienterVisible);
    CheckBoxReduire->setChecked(s.ReduireKelvarin);
    CheckBoxXP->setChecked(s.LookXP);
    CheckBoxSpamSiPasSujetFrom->setChecked(s.SpamSiPasSujetFrom);
    if (QAbstractButton* b = m_format->button(s.FormatParametre)) b->setChecked(true);
    CBoxSecuriteAmont->setCurrentIndex(s.SecuriteAmont);
    regleDNS();
    m_chargement = false;
}

void TPageGeneral::Lire(TSaisieOptions& s) const {
    s.PortEcoute = EditPortEcoute->text();
    s.PortMail = EditPortMail->text();
    s.DNSAuto = CheckBoxDNS->isChecked();
    s.AdresseDNS = EditDNS->text();
    s.NbSocket = EditNbSocket->text();
    s.DureeStockage = EditStockage->text();
    s.NbTentativeRecherche = EditNbTentative->text();
    s.TimeOutRecherche = EditTimeOut->text();
    s.ReemettreSpam = CheckBoxReemettre->isChecked();
    s.BeepTimeOut = CheckBoxTimeOut->isChecked();
    s.AnimerIcone = CheckBoxAnimerIcone->isChecked();
    s.PatienterVisible = CheckBoxPatienter->isChecked();
    s.ReduireKelvarin = CheckBoxReduire->isChecked();
    s.LookXP = CheckBoxXP->isChecked();
    s.SpamSiPasSujetFrom = CheckBoxSpamSiPasSujetFrom->isChecked();
    s.FormatParametre = std::max(0, m_format->checkedId());
    s.SecuriteAmont = std::max(0, CBoxSecuriteAmont->currentIndex());
}

TPageInfosSpams::TPageInfosSpams(QWidget* parent) : QWidget(parent) {
    auto* v = new QVBoxLayout(this);
    CheckBoxModifSujet = caseACocher(this, "CheckBoxModifSujet", u"Modifier le sujet du message");
    v->addWidget(CheckBoxModifSujet);
    PanelSujet = cree<QWidget>(this, "PanelSujet");
    auto* g = new QGridLayout(PanelSujet);
    EditDebutSujet = edition(PanelSujet, "EditDebutSujet");
    EditFinSujet = edition(PanelSujet, "EditFinSujet");
    EditDebutSujet2 = edition(PanelSujet, "EditDebutSujet2");
    EditFinSujet2 = edition(PanelSujet, "EditFinSujet2");
    EditDebutSujet3 = edition(PanelSujet, "EditDebutSujet3");
    EditFinSujet3 = edition(PanelSujet, "EditFinSujet3");
    g->addWidget(etiquette(PanelSujet, "LabelDebutSujet", u"Début sujet :"), 0, 0);
    g->addWidget(EditDebutSujet, 0, 1);
    g->addWidget(etiquette(PanelSujet, "LabelFinSujet", u"Fin sujet :"), 0, 2);
    g->addWidget(EditFinSujet, 0, 3);
    g->addWidget(etiquette(PanelSujet, "LabelSeulBayes",
                           u"Si seul le filtre bayesien voit le message comme un spam :"),
                 1, 0, 1, 4);
    g->addWidget(etiquette(PanelSujet, "LabelDebutSujet2", u"Début sujet :"), 2, 0);
    g->addWidget(EditDebutSujet2, 2, 1);
    g->addWidget(etiquette(PanelSujet, "LabelFinSujet2", u"Fin sujet :"), 2, 2);
    g->addWidget(EditFinSujet2, 2, 3);
    g->addWidget(etiquette(PanelSujet, "LabelSeulIP",
                           u"Si seul le filtre sur IP voit le message comme un spam :"),
                 3, 0, 1, 4);
    g->addWidget(etiquette(PanelSujet, "LabelDebutSujet3", u"Début sujet :"), 4, 0);
    g->addWidget(EditDebutSujet3, 4, 1);
    g->addWidget(etiquette(PanelSujet, "LabelFinSujet3", u"Fin sujet :"), 4, 2);
    g->addWidget(EditFinSujet3, 4, 3);
    CheckBoxAjoutInfoBayesien = caseACocher(PanelSujet, "CheckBoxAjoutInfoBayesien",
                                            u"Ajouter la probabilité dans le sujet");
    g->addWidget(CheckBoxAjoutInfoBayesien, 5, 0, 1, 4);
    v->addWidget(PanelSujet);

    CheckBoxSupprimerSpam = caseACocher(this, "CheckBoxSupprimerSpam",
                                        u"Laisser uniquement les en-têtes pour les spams");
    v->addWidget(CheckBoxSupprimerSpam);
    EditSujetSupprime = edition(this, "EditSujetSupprime");
    v->addWidget(ligne(
        this, {etiquette(this, "LabelSujetSupprime", u"Utiliser le sujet :"), EditSujetSupprime}));
    EditSujetSupprime->setMinimumWidth(300);
    CheckBoxEnleveHTML = caseACocher(this, "CheckBoxEnleveHTML", u"Supprimer le html des spams");
    v->addWidget(CheckBoxEnleveHTML);

    auto* seuils = new QGroupBox(Res("GroupBoxSeuils", u"Le message est un spam si :"), this);
    seuils->setObjectName(QStringLiteral("GroupBoxSeuils"));
    auto* gs = new QVBoxLayout(seuils);
    EditPourcentageBon = edition(seuils, "EditPourcentageBon", true);
    EditTauxSpamQueBayesien = edition(seuils, "EditTauxSpamQueBayesien", true);
    gs->addWidget(
        ligne(seuils, {etiquette(seuils, "LabelPourcentageBon",
                                 u"filtre sur l'IP, et le filtre bayesien a un score supérieur à"),
                       EditPourcentageBon, etiquette(seuils, "LabelPourcent1", u"%")}));
    gs->addWidget(
        ligne(seuils,
              {etiquette(seuils, "LabelTauxSpamQueBayesien",
                         u"pas de filtre sur l'IP, mais le filtre bayesien a un score supérieur à"),
               EditTauxSpamQueBayesien, etiquette(seuils, "LabelPourcent2", u"%")}));
    v->addWidget(seuils);
    v->addStretch();

    const auto change = [this] {
        if (!m_chargement) emit Modifie();
    };
    for (QLineEdit* e :
         {EditDebutSujet, EditFinSujet, EditDebutSujet2, EditFinSujet2, EditDebutSujet3,
          EditFinSujet3, EditSujetSupprime, EditPourcentageBon, EditTauxSpamQueBayesien})
        connect(e, &QLineEdit::textEdited, this, change);
    for (QCheckBox* c :
         {CheckBoxModifSujet, CheckBoxAjoutInfoBayesien, CheckBoxSupprimerSpam, CheckBoxEnleveHTML})
        connect(c, &QCheckBox::toggled, this, change);
    connect(CheckBoxModifSujet, &QCheckBox::toggled, PanelSujet, &QWidget::setEnabled);
}

void TPageInfosSpams::Charger(const TSaisieOptions& s) {
    m_chargement = true;
    CheckBoxModifSujet->setChecked(s.ModifSujet);
    PanelSujet->setEnabled(s.ModifSujet);
    EditDebutSujet->setText(s.DebutSujet);
    EditFinSujet->setText(s.FinSujet);
    EditDebutSujet2->setText(s.DebutSujetBaye);
    EditFinSujet2->setText(s.FinSujetBaye);
    EditDebutSujet3->setText(s.DebutSujetIP);
    EditFinSujet3->setText(s.FinSujetIP);
    CheckBoxAjoutInfoBayesien->setChecked(s.AjoutInfoBayesien);
    CheckBoxSupprimerSpam->setChecked(s.SupprimerSpam);
    EditSujetSupprime->setText(s.SujetSupprime);
    CheckBoxEnleveHTML->setChecked(s.EnleveHTML);
    EditPourcentageBon->setText(s.PourcentageSpam2);
    EditTauxSpamQueBayesien->setText(s.PourcentageSpam);
    m_chargement = false;
}

void TPageInfosSpams::Lire(TSaisieOptions& s) const {
    s.ModifSujet = CheckBoxModifSujet->isChecked();
    s.DebutSujet = EditDebutSujet->text();
    s.FinSujet = EditFinSujet->text();
    s.DebutSujetBaye = EditDebutSujet2->text();
    s.FinSujetBaye = EditFinSujet2->text();
    s.DebutSujetIP = EditDebutSujet3->text();
    s.FinSujetIP = EditFinSujet3->text();
    s.AjoutInfoBayesien = CheckBoxAjoutInfoBayesien->isChecked();
    s.SupprimerSpam = CheckBoxSupprimerSpam->isChecked();
    s.SujetSupprime = EditSujetSupprime->text();
    s.EnleveHTML = CheckBoxEnleveHTML->isChecked();
    s.PourcentageSpam2 = EditPourcentageBon->text();
    s.PourcentageSpam = EditTauxSpamQueBayesien->text();
}

TPageApercu::TPageApercu(const QString& titre, const QList<TLien>& liens, QWidget* parent)
    : QWidget(parent) {
    auto* v = new QVBoxLayout(this);
    auto* t = new QLabel(titre, this);
    MarquerTexteProgramme(t); // the page's caption, translated as such
    QFont f = t->font();
    f.setBold(true);
    f.setPointSize(f.pointSize() + 2);
    t->setFont(f);
    v->addWidget(t);
    v->addSpacing(8);
    auto* g = new QGridLayout;
    int rang = 0;
    for (const TLien& l : liens) {
        auto* lien = new QLabel(this);
        lien->setObjectName(QLatin1String(l.Nom));
        lien->setText(QStringLiteral("<a href=\"%1\">%2</a>")
                          .arg(l.Position)
                          .arg(Res(l.Nom, l.Libelle).toHtmlEscaped()));
        lien->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
        auto* desc = new QLabel(this);
        const QByteArray nomDesc = QByteArray(l.Nom) + "Description";
        desc->setObjectName(QLatin1String(nomDesc));
        QString d = Res(nomDesc.constData(), l.Description);
        if (!d.startsWith(QStringLiteral(" :"))) d = QStringLiteral(" : ") + d;
        desc->setText(d);
        desc->setWordWrap(true);
        g->addWidget(lien, rang, 0, Qt::AlignTop);
        g->addWidget(desc, rang, 1);
        ++rang;
        connect(lien, &QLabel::linkActivated, this,
                [this](const QString& lienTexte) { emit LienActive(lienTexte.toInt()); });
        m_liens.append({l, {lien, desc}});
    }
    g->setColumnStretch(1, 1);
    v->addLayout(g);
    v->addStretch();
}

void TPageApercu::AppliquerMode(bool simple) {
    for (const auto& [lien, widgets] : m_liens)
        for (QWidget* w : widgets)
            w->setVisible(!simple || !lien.ExpertSeulement);
}
