#pragma once
// The Bayesian filter as the engine runs it: the knowledge base, the two token
// documents (incoming mail, review page), the mode, and the rules for loading,
// saving and dropping the base.
#include "bayes/bayes_doc.h"
#include "bayes/mon_bayes_db.h"

#include <QString>

#include <functional>
#include <memory>

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

    // Tokenizes a Bayesian text into `doc` (and learns it when asked), catching
    // and tracing any failure. `sujet` is the decoded subject (empty: no prefix).
    void AppliquerTexte(TBayesDoc& doc, QByteArrayView texte, int32_t finEntetes, int32_t finTexte,
                        QByteArrayView sujet, bool apprendre, bool estSpam);
    // Scores `doc` with the current mode; results are left in the base.
    void EvaluerDoc(TBayesDoc& doc, bool garder);

    TBayesDoc DocReception;
    TBayesDoc DocAffichage;
    bool MeilleursMots = false;
    bool CalculEnCours = false; // a full rebuild is running
    int ModeBayes = 5;

    enum TEtatBase { ebRepos, ebChargement, ebSauvegarde };
    // Busy cursor and tray hint: "Chargement ..." / "Sauvegarde ..." with TRAY6,
    // back to the product name with TRAY1 on ebRepos.
    std::function<void(TEtatBase)> OnEtatBase;
    // Item of the mode combo box to select (-1: none).
    std::function<void(int)> OnModeBayes;

private:
    std::unique_ptr<TMonBayesDB> m_base;
};
