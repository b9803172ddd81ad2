#pragma once
// The Bayesian filter as the engine runs it: the knowledge base, the two token
// documents (incoming mail, review page), the mode, and the rules for loading,
// saving and dropping the base.
#include "bayes/bayes_doc.h"
#include "bayes/mon_bayes_db.h"

#include <QString>

#include <functional>
#include <memory>

class TMonMimeDecode;

// Working fields of an archived message that the review page's score fills.
struct TCalculBayesMessage {
    double PctBon = 0;
    double PctSpam = 0;
    int32_t ProbaBayes = -1; // tenths of a percent; below 0: unknown
    bool Calcule = false;
    bool DansTo = false;
    bool DansCc = false;
};

class TFiltreBayes {
public:
    // The base file is `repDonnees` + "bayes.qdl"; the ignore lists lie beside it.
    explicit TFiltreBayes(const QString& repDonnees);
    ~TFiltreBayes();

    TMonBayesDB& Base() { return *m_base; }

    // Loads the tokens when the base holds none (and no rebuild is running).
    void ChargerBase();
    // Saves when modified (and no rebuild is running). False when the save failed.
    bool SauverBase();
    // Saves, then empties the tokens from memory, but only once they are safely
    // on disk. True when the base was emptied.
    bool DechargerBase();

    // Sets the mode (`MeilleursMots` only changes for 0 to 11).
    void ReglerModeBayes(int mode);
    // Sets the combination of both documents (0 the mean, 1 chi-square; any
    // other value is the mean) and stores `CalculBayes`.
    void ReglerCalculBayes(int calcul);

    // Tokenizes a Bayesian text into `doc` (and learns it when asked), catching
    // and tracing any failure. `sujet` is the decoded subject (empty: no prefix).
    void AppliquerTexte(TBayesDoc& doc, QByteArrayView texte, int32_t finEntetes, int32_t finTexte,
                        QByteArrayView sujet, bool apprendre, bool estSpam);
    // The Bayesian text of `message` into `sortie`, with its two zone offsets.
    // The decoder is reset and left holding the decoded message.
    void ConstruireTexteBayes(TMonMimeDecode& decodeur, QByteArrayView message, int32_t& finTexte,
                              int32_t& finEntetes, QByteArray& sortie);
    // The whole preparation of a document from a message; failures are traced.
    void AppliquerBayes(TBayesDoc& doc, TMonMimeDecode& decodeur, bool apprendre, bool avecSujet,
                        QByteArrayView message, bool estSpam);
    // Scores an incoming message: true when spam (above 50 %).
    bool ScoreBayes(TMonMimeDecode& decodeur, QByteArrayView message, int session, double& pctBon,
                    double& pctSpam);
    // Scores an archived message for the review page. `emailCompte` is the chosen
    // account's address (empty: none).
    void CalculerBayesMessage(TCalculBayesMessage& record, TMonMimeDecode& decodeur,
                              QByteArrayView message, QByteArrayView emailCompte);

    // Scores `doc` with the current mode; results are left in the base.
    void EvaluerDoc(TBayesDoc& doc, bool garder);

    TBayesDoc DocReception;
    TBayesDoc DocAffichage;
    bool MeilleursMots = false;
    bool CalculEnCours = false; // a full rebuild is running
    int ModeBayes = 5;
    int CalculBayes = bayes::cbMoyenne;

    enum TEtatBase { ebRepos, ebChargement, ebSauvegarde };
    // Busy cursor and tray hint: "Chargement ..." / "Sauvegarde ..." with TRAY6,
    // back to the product name with TRAY1 on ebRepos.
    std::function<void(TEtatBase)> OnEtatBase;
    // Item of the mode combo box to select (-1: none).
    std::function<void(int)> OnModeBayes;

private:
    std::unique_ptr<TMonBayesDB> m_base;
    QByteArray m_texteBayes; // reused between messages
};
