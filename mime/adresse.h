#pragma once
// Split of a From, To or Cc value into display name and address.

#include <QByteArray>
#include <QByteArrayView>

// '"Nom" <a@b>' and 'Nom <a@b>' give "Nom" and "a@b"; 'a@b (commentaire)' gives
// "commentaire" and "a@b"; a bare address gives itself. Both results trimmed.
void SeparerAdresse(QByteArrayView texte, QByteArray& nom, QByteArray& adresse);
// The address part only.
QByteArray ExtraireAdresse(QByteArrayView texte);
