#include "i18n/resources.h"

namespace ressources {
namespace {
TTraducteur* g_traducteur = nullptr;
}
void installer(TTraducteur* traducteur) {
    g_traducteur = traducteur;
}
TTraducteur* installe() {
    return g_traducteur;
}
bool CleRessource(const char* cle) {
    return cle && *cle >= 'a' && *cle <= 'z';
}
} // namespace ressources

QString Res(const char* cle, const char16_t* francais) {
    if (ressources::g_traducteur && ressources::CleRessource(cle)) {
        QString t = ressources::g_traducteur->Ressource(cle, francais);
        if (!t.isNull()) return t;
    }
    return QString::fromUtf16(francais);
}

QString TexteFenetre(QStringView section, QStringView cle, const QString& defaut) {
    if (!ressources::g_traducteur) return defaut;
    return ressources::g_traducteur->Fenetre(section, cle, defaut);
}
