// SPDX-License-Identifier: GPL-3.0-or-later
// How the case model reaches the records it holds whose classes live elsewhere:
// the schemes and the image measures sit in libraries above the model, and a few
// case records are added to the model by their own code. Each is reached through a
// narrow interface installed by the code that defines it.
#pragma once

#include <iosfwd>
#include <vector>

class QvEntity;
class QvImageMeasure;
class QvModel;
class QvPoint;
class QvTooth;

// What the case model asks of its treatment schemes. The scheme manager implements
// it and is given to the model (QvModel::SetSchemes), which owns it from then on.
class QvModelSchemes
{
public:
    virtual ~QvModelSchemes() = default;
    // Deletes every scheme.
    virtual void Clear() = 0;
    // Whether the current scheme, if there is one, has the tooth in its extracted set.
    virtual bool IsExtractedInCurrentScheme(const QvTooth* tooth) const = 0;
    // Appends the virtual teeth of the current scheme, if there is one.
    virtual void AppendCurrentVirtualTeeth(std::vector<QvEntity*>& out) const = 0;
};

// The operations of the image measures that the model uses. The image-measure code
// installs them once (QvSetImageMeasureOps); until then the model creates none and
// every lookup finds none.
struct QvImageMeasureOps
{
    // The factory: a new measure of that type code, owned by the caller; never null.
    QvImageMeasure* (*create)(int type) = nullptr;
    void (*destroy)(QvImageMeasure* measure) = nullptr;
    int (*getType)(const QvImageMeasure* measure) = nullptr;
    int (*getImageKind)(const QvImageMeasure* measure) = nullptr;
    bool (*getFlag)(const QvImageMeasure* measure) = nullptr;
    void (*setFlag)(QvImageMeasure* measure, bool flag) = nullptr;
    // Empties the process-wide list of image references.
    void (*clearImageReferences)() = nullptr;
    // Optional; the reference planes read the cephalometric tracing through them and
    // find no landmark while they are missing. The landmark with that key (false, out
    // unchanged, when the measure has none), and the tracing's completeness test.
    bool (*findKeyPoint)(const QvImageMeasure* measure, int key, QvPoint& out) = nullptr;
    bool (*isLandmarksComplete)(const QvImageMeasure* measure, bool useSecondList, int analysisKind) = nullptr;
    // Optional; the case-document reader reads a stored cephalometric tracing through
    // it, and fails a file that holds one while it is missing. The measure's own
    // record; false on a short or damaged stream.
    bool (*read)(QvImageMeasure* measure, std::istream& is, int version, QvModel* model) = nullptr;

    bool IsComplete() const
    {
        return create && destroy && getType && getImageKind && getFlag && setFlag && clearImageReferences;
    }
};

// Installs the operations (an incomplete set is refused); returns whether it took them.
bool QvSetImageMeasureOps(const QvImageMeasureOps& ops);
const QvImageMeasureOps& QvGetImageMeasureOps();
// Back to no operations (for tests).
void QvResetImageMeasureOps();

// A case record held by the model whose class the model does not see: whoever
// installs the record supplies how it is cleared and deleted.
template <typename T>
class QvModelRecord
{
public:
    using Op = void (*)(T*);

    QvModelRecord() = default;
    QvModelRecord(const QvModelRecord&) = delete;
    QvModelRecord& operator=(const QvModelRecord&) = delete;
    ~QvModelRecord() { Reset(); }

    // Takes ownership of record (deleting any present one).
    void Install(T* record, Op destroy, Op clear)
    {
        Reset();
        m_pRecord = record;
        m_destroy = destroy;
        m_clear = clear;
    }
    T* Get() const { return m_pRecord; }
    // Empties the record's content; the record stays.
    void Clear()
    {
        if (m_pRecord && m_clear)
            m_clear(m_pRecord);
    }
    // Deletes the record.
    void Reset()
    {
        if (m_pRecord && m_destroy)
            m_destroy(m_pRecord);
        m_pRecord = nullptr;
        m_destroy = nullptr;
        m_clear = nullptr;
    }

private:
    T* m_pRecord = nullptr;
    Op m_destroy = nullptr;
    Op m_clear = nullptr;
};
