#pragma once
// User-visible texts are resource strings with a key ("princ62") and their
// French text. Every one is loaded through Res(), which returns the translation
// of the current language when there is one, else the French text.

#include <QString>

QString Res(const char* cle, const char16_t* francais);

namespace ressources {
// The translation engine installs its lookup here (key -> translated text or null).
using TRecherche = QString (*)(const char* cle);
void installer(TRecherche recherche);
} // namespace ressources
