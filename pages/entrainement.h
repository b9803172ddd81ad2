#pragma once
// The knowledge base taught by the review page: a corrected verdict moves the
// message from one side to the other, a deleted message is unlearned.

#include <QByteArrayView>

class TFiltreBayes;
class TMonMimeDecode;
struct TUnMessageMem;

enum TEntrainement { enVersSpam, enVersBon, enSuppression };

// Teaches the base what the user did to an archived message whose record is
// still as before the change. Nothing happens unless the record was scored
// by the Bayesian filter (TestBayes); a correction only when it changes the
// verdict, a deletion only when no list decided the message. True when the
// base changed.
bool EntrainerCorrection(TFiltreBayes& filtre, TMonMimeDecode& decodeur,
                         const TUnMessageMem& record, QByteArrayView message, TEntrainement quoi);
