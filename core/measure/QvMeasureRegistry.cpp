// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/measure/QvMeasureRegistry.h"

#include <memory>

#include "core/measure/QvCepMeasure.h"
#include "core/measure/QvImageMeasure.h"
#include "core/measure/QvMeasureFile.h"
#include "core/model/QvFileBodyLinks.h"
#include "core/model/QvModelLinks.h"

namespace {

class MeasureFileLink : public QvMeasureFileLink
{
public:
    bool ReadBody(std::istream& is, int version, QvModel& model) override
    {
        return QvMeasureFile::ReadRVM(is, version, model);
    }
    void WriteBody(std::ostream& os, int version, const QvModel& model) override
    {
        QvMeasureFile::WriteRVM(os, version, model);
    }
};

} // namespace

void QvRegisterImageMeasures()
{
    QvImageMeasureOps ops;
    ops.create = [](int type) { return QvImageMeasure::Create(type); };
    ops.destroy = [](QvImageMeasure* measure) { delete measure; };
    ops.getType = [](const QvImageMeasure* measure) { return static_cast<int>(measure->m_nType); };
    ops.getImageKind = [](const QvImageMeasure* measure) { return static_cast<int>(measure->m_nImageKind); };
    ops.getFlag = [](const QvImageMeasure* measure) { return measure->m_bFlag; };
    ops.setFlag = [](QvImageMeasure* measure, bool flag) { measure->m_bFlag = flag; };
    ops.clearImageReferences = [] { ResetImageReferences(); };
    ops.findKeyPoint = [](const QvImageMeasure* measure, int key, QvPoint& out) {
        QvKeyPoint p;
        if (!measure->FindKeyPoint(key, p))
            return false;
        out = p.m_point;
        return true;
    };
    ops.isLandmarksComplete = [](const QvImageMeasure* measure, bool useSecondList, int analysisKind) {
        const auto* tracing = dynamic_cast<const QvCepMeasure*>(measure);
        return tracing && tracing->IsLandmarksComplete(useSecondList, analysisKind);
    };
    ops.read = [](QvImageMeasure* measure, std::istream& is, int version, QvModel* model) {
        return measure->Read(is, version, model);
    };
    (void)QvSetImageMeasureOps(ops);
    QvSetMeasureFileLink(std::make_unique<MeasureFileLink>());
}

void QvUnregisterImageMeasures()
{
    QvResetImageMeasureOps();
    QvSetMeasureFileLink(nullptr);
}
