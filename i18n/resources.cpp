#include "i18n/resources.h"

namespace ressources {
namespace {
TRecherche g_recherche = nullptr;
}
void installer(TRecherche recherche) {
    g_recherche = recherche;
}
} // namespace ressources

QString Res(const char* cle, const char16_t* francais) {
    if (ressources::g_recherche) {
        QString t = ressources::g_recherche(cle);
        if (!t.isNull()) return t;
    }
    return QString::fromUtf16(francais);
}
