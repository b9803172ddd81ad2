#include "proxy/evenements_moteur.h"

#include <QMetaMethod>

TEvenementsMoteur::TEvenementsMoteur(QObject* parent) : QObject(parent) {
    m_ecouteurTrace =
        TTrace::instance().AjouterEcouteur([this](const TLigneTrace& l) { emit LigneTrace(l); });
}

TEvenementsMoteur::~TEvenementsMoteur() {
    TTrace::instance().RetirerEcouteur(m_ecouteurTrace);
}

bool TEvenementsMoteur::AvertissementEcoute() const {
    return isSignalConnected(QMetaMethod::fromSignal(&TEvenementsMoteur::Avertissement));
}

bool TEvenementsMoteur::NouvelleVersionEcoute() const {
    return isSignalConnected(QMetaMethod::fromSignal(&TEvenementsMoteur::NouvelleVersion));
}
