#pragma once
// Help: HTML pages in data/help beside the executable, one anchor per topic
// number, opened in the user's browser.

#include <QString>

namespace aide {
// "/desactiveaide" turns help off for the run.
void Desactiver(bool desactive);
// The main page; empty when the pages are not installed.
QString Fichier();
bool Disponible();
// The page file holding a topic's anchor ("options.html").
QString PageDuSujet(int sujet);
// The address of a topic ("...#sujet-110"); empty without the pages.
QString Adresse(int sujet);
// Opens the topic; false when it cannot (no pages, no browser).
bool Afficher(int sujet);
// Opens an address in the browser ("http://" put in front when missing).
bool OuvrirURL(const QString& adresse);
} // namespace aide
