// SPDX-License-Identifier: GPL-3.0-or-later
// The open case document: owns the case model of the case being viewed, turns a
// downloaded case file into a model ready to draw (libraries, read, preparation),
// reads scheme files into it, switches and exports schemes, and destroys the model
// when closed. No user interface and no thread of its own: opening runs on the
// document manager's worker, everything else on the GUI thread.
//
// Memory exhaustion (std::bad_alloc, std::length_error) while reading or preparing
// answers kRivelaDocOutOfMemory and leaves no half-read model behind.
#pragma once

#include <QString>

#include <functional>
#include <memory>
#include <string_view>

class QvModel;
class QvScheme;
class RVCaseInfo;

// Model kinds of a case (RVCaseInfo::modelType).
inline constexpr quint64 kRVModelDigital = 1041;
inline constexpr quint64 kRVModelSchemeBackEnd = 1047;
inline constexpr quint64 kRVModelSchemeSelf = 1048;
inline constexpr quint64 kRVModelStepAnimation = 1049;
inline constexpr quint64 kRVModelSchemeBracket = 1050;
inline bool RVIsSchemeKind(quint64 kind)
{
    return kind == kRVModelSchemeBackEnd || kind == kRVModelSchemeSelf || kind == kRVModelSchemeBracket;
}

// The answer of a read or preparation that ran out of memory (failure 5 of the manager).
inline constexpr int kRivelaDocOutOfMemory = 5;
// switchScheme's "the last scheme".
inline constexpr int kRivelaDocLastScheme = 2147483647;

class RivelaDoc {
public:
    RivelaDoc();
    // closeDocument: releasing a document always destroys its model.
    ~RivelaDoc();
    RivelaDoc(const RivelaDoc&) = delete;
    RivelaDoc& operator=(const RivelaDoc&) = delete;

    // A new empty model in place of any present one.
    void initModel();
    // Loads the libraries, reads the file by kind (1049 case document, 1041 zipped
    // dental model), deletes the file read and prepares the model. 0 on success, else
    // the reader's code (1 for any other kind) or kRivelaDocOutOfMemory; after a
    // failure nothing is prepared and the model is gone.
    [[nodiscard]] int openDocument(const QString& path, quint64 modelType);
    // Reads a scheme file into the open model as new schemes (only the first of the
    // file unless the case's scheme type is 6) and makes the last scheme current.
    // The reader's code; what it delivered is added even on failure.
    [[nodiscard]] int openNewSchemeWithPath(const QString& path);
    // A dental-model file read into the present model; 1 for an empty path or no model.
    [[nodiscard]] int openDMFile(const QString& path);
    // "OS" (any letter case): the model as a case document; "RVS": the current scheme
    // as a scheme file. False for other extensions, an empty path, no model or (RVS)
    // no current scheme; nothing is written then.
    [[nodiscard]] bool exportDocument(const QString& path);
    // Destroys the model (dropping its meshes' OBB trees) and empties the attachment
    // and bracket-series libraries unless another open document still uses them.
    void closeDocument();
    void clear() { closeDocument(); }

    // Makes the scheme at that position of group 0 current (kRivelaDocLastScheme: the
    // last) and shows the model for it; nothing without schemes or for a position
    // group 0 does not hold.
    void switchScheme(int index);
    void initSchemeTarget(QvScheme* scheme);
    // Builds the scheme's gums (null: the current scheme, step 0 too unless the kind
    // is 1041). Nothing without the scheme or without both jaws.
    void initGumMgrWithScheme(QvScheme* scheme, quint64 modelType);

    // Preparation steps, each nothing without a model.
    void ClearDeletedMode();
    void createRoot();
    void initOBBTree();
    void updateOBBTree() { initOBBTree(); }
    void updateVirtualTeeth();
    void initFactor();
    void readAttachments();
    void readBKTByCode();

    // Within the zoom limits, both included; never while the model's box is empty.
    [[nodiscard]] bool canScaleModelWithFactor(double factor) const;
    QvModel* getModel() const { return m_model.get(); }
    bool isOS() const;
    void addAttachment(bool) {}
    // Step count of the current scheme; 0 without one.
    int totalTreatStep() const;
    QvScheme* currentScheme() const;

    std::shared_ptr<RVCaseInfo> caseInfo;
    QString bracketCode;
    bool canModifyBracket = false;
    double minScalaFactor = 0.0;
    double maxScalaFactor = 0.0;
    QString documentURL;
    QString schemeURL;
    QString ID;

    // Tests and benchmarks: called at the start of each stage ("read", "roots",
    // "trees", "switch", "gums"; "scheme" for a scheme file); it may throw to imitate running out of memory there.
    using StageHook = std::function<void(std::string_view stage)>;
    static void SetStageHookForTests(StageHook hook);

    // Where a zipped dental model is extracted: the per-user temporary folder and the
    // application's identifier.
    static QString ExtractionFolder();

private:
    [[nodiscard]] int OpenAndPrepare(const QString& path, quint64 modelType, std::string& readPath);
    void Prepare(quint64 modelType);

    std::unique_ptr<QvModel> m_model;
    bool m_holdsLibraries = false;
};
