// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <sstream>

#include "core/base/QvEntity.h"
#include "core/geometry/QvStreamIO.h"
#include "core/measure/tests/MeasureTestSupport.h"
#include "core/model/QvFileVersion.h"
#include "core/model/QvJawRef.h"
#include "core/model/QvPatientInfo.h"
#include "core/model/QvModel.h"
#include "core/model/QvModelLinks.h"
#include "core/model/QvReadWriteFile.h"
#include "core/model/tests/ScratchFolder.h"
#include "testing/CaseFixtures.h"

namespace {

using namespace qvmeasuretest;

const int kTracingVersions[] = {0x403, 0x404, 0x405};

class CaseDocumentTracing : public MeasureTest
{
protected:
    void SetUp() override
    {
        MeasureTest::SetUp();
        QvRegisterImageMeasures();
        QvEntity::SetNextId(100);
    }
};

qvtest::CaseOptions SmallCase()
{
    qvtest::CaseOptions options;
    options.fdis = {11, 21, 36};
    options.crownRings = 2;
    options.crownAround = 5;
    options.gumAround = 6;
    options.gumRings = 2;
    options.withBones = false;
    options.withHinge = false;
    options.withAirway = false;
    options.withPlanes = false;
    return options;
}

std::vector<QvKeyPoint> Tracing()
{
    std::vector<QvKeyPoint> points;
    for (const int id : QvCepMeasure::GetRequiredLandmarks(0))
        points.emplace_back(QvPoint(0.013 * id, 1.0 - 0.017 * id, 0), id);
    return points;
}

// The old form of the tracing (documents of version 0x403): landmarks each with a word
// count and no words, no items, both parameters.
std::string OldTracingRecord(const std::vector<QvKeyPoint>& landmarks, int param1, int param2)
{
    std::ostringstream os;
    qvio::WriteI32(os, static_cast<std::int32_t>(landmarks.size()));
    for (const QvKeyPoint& p : landmarks)
    {
        p.Write(os);
        qvio::WriteI32(os, 0);
    }
    qvio::WriteI32(os, 0);
    qvio::WriteI32(os, param1);
    qvio::WriteI32(os, param2);
    return os.str();
}

// The tracing record the document's version stores.
std::string TracingRecord(const QvCepMeasure& tracing, int version)
{
    if (version == 0x403)
        return OldTracingRecord(tracing.m_keyPoints, tracing.m_nParam1, tracing.m_nParam2);
    return RecordBytes(tracing, version);
}

// A case document of the model whose tracing section holds record (present false: the
// flag 0 of the versions that have one). The other sections come from the model's own
// writers, adjusted to what these old versions read: the patient information with its
// image list (0x403), and a reference set without planes in the slots the reader takes
// (two, three for 0x405). The model must hold no reference planes.
std::string Document(const QvModel& model, int version, const std::string& record, bool present = true)
{
    std::string head =
        qvtest::BytesOf([&](std::ostream& os) { model.WriteOSPart(os, version, QvModel::OSWriteStop::AfterJawBones); });
    if (version == 0x403)
    {
        const std::string current =
            qvtest::BytesOf([&](std::ostream& os) { model.GetPatientInfo()->Write(os, version); });
        const std::string withImages =
            qvtest::BytesOf([&](std::ostream& os) { model.GetPatientInfo()->WriteImageForm(os); });
        head = withImages + head.substr(current.size());
    }
    std::ostringstream os;
    if (version >= 0x404)
    {
        head.resize(head.size() - 4); // the writer's empty-tracing flag
        os << head;
        qvio::WriteI32(os, present ? 1 : 0);
    }
    else
    {
        os << head;
    }
    if (present)
        os << record;
    std::string refs = qvtest::BytesOf([&](std::ostream& s) { model.WriteToothRefs(s, version); });
    const std::string writtenSlots = qvtest::BytesOf([&](std::ostream& s) { QvJawRef().Write(s, version); });
    refs.resize(refs.size() - writtenSlots.size());
    os << refs;
    for (int slot = 0; slot < (version == 0x405 ? 3 : 2); ++slot)
        qvio::WriteI32(os, 0);
    qvio::WriteI32(os, 0); // no schemes
    return os.str();
}

std::unique_ptr<QvCepMeasure> SourceTracing()
{
    auto tracing = std::make_unique<QvCepMeasure>();
    tracing->SetKeyPoints(Tracing());
    tracing->m_nParam1 = 2;
    tracing->m_nParam2 = 5;
    return tracing;
}

TEST_F(CaseDocumentTracing, DocumentsWithATracingOpen)
{
    qvtest::ScratchFolder folder;
    QvModel source;
    qvtest::FillCase(source, SmallCase());
    const std::unique_ptr<QvCepMeasure> tracingHolder = SourceTracing();
    const QvCepMeasure& tracing = *tracingHolder;
    for (const int version : kTracingVersions)
    {
        SCOPED_TRACE(testing::Message() << std::hex << version);
        const std::string body = Document(source, version, TracingRecord(tracing, version));
        {
            QvModel whole;
            std::istringstream is(body);
            ASSERT_TRUE(whole.ReadOS(is, version, nullptr));
            EXPECT_EQ(is.peek(), std::char_traits<char>::eof());
        }
        const std::string path = folder / "case.os";
        ASSERT_TRUE(qvtest::WriteWholeFile(path, QvReadWriteFile::MakeHeader(kQvFileOS, version) + "\n" + body));
        QvModel model;
        QvReadWriteFile file(&model, 0);
        ASSERT_EQ(file.ReadOS(path), 0);
        EXPECT_EQ(model.m_teeth.size(), 3u);
        ASSERT_EQ(model.m_imageMeasures.size(), 1u);
        const auto* back = dynamic_cast<const QvCepMeasure*>(model.FindImageMeasure(1, false));
        ASSERT_NE(back, nullptr);
        ExpectSameKeyPoints(tracing.m_keyPoints, back->m_keyPoints);
        EXPECT_EQ(back->m_nParam1, 2);
        EXPECT_EQ(back->m_nParam2, 5);
        EXPECT_EQ(back->m_nType, 1);
        EXPECT_EQ(back->m_nImageKind, 11);
        EXPECT_TRUE(back->IsLandmarksComplete(false, 0));

        // What the reference planes read of it through the model's operations.
        QvPoint porion;
        ASSERT_TRUE(QvGetImageMeasureOps().findKeyPoint(back, 10, porion));
        EXPECT_EQ(porion, QvPoint(0.13, 1.0 - 0.17, 0));
    }
}

TEST_F(CaseDocumentTracing, AnAbsentTracingLeavesAnEmptyOne)
{
    QvModel source;
    qvtest::FillCase(source, SmallCase());
    for (const int version : {0x404, 0x405})
    {
        QvModel model;
        // A tracing already held is the one the document reads into.
        model.CreateImageMeasure(1, false)->SetKeyPoints(Tracing());
        std::istringstream is(Document(source, version, "", false));
        ASSERT_TRUE(model.ReadOS(is, version, nullptr));
        ASSERT_EQ(model.m_imageMeasures.size(), 1u);
        EXPECT_EQ(model.m_imageMeasures[0]->m_keyPoints.size(), Tracing().size());
    }
}

TEST_F(CaseDocumentTracing, ADamagedTracingFailsTheDocument)
{
    qvtest::ScratchFolder folder;
    QvModel source;
    qvtest::FillCase(source, SmallCase());
    for (const int version : kTracingVersions)
    {
        SCOPED_TRACE(testing::Message() << std::hex << version);
        std::string record = TracingRecord(*SourceTracing(), version);
        // The landmark count: first in the old form, after type, kind and name length in the named one.
        const std::size_t at = version == 0x403 ? 0 : 12;
        const std::int32_t bad = -3;
        std::memcpy(record.data() + at, &bad, 4);
        const std::string path = folder / "bad.os";
        ASSERT_TRUE(qvtest::WriteWholeFile(path, QvReadWriteFile::MakeHeader(kQvFileOS, version) + "\n" +
                                                     Document(source, version, record)));
        QvModel model;
        QvReadWriteFile file(&model, 0);
        EXPECT_EQ(file.ReadOS(path), 1);
    }
}

// The tracing record as the document reader reaches it, and a whole small document.
TEST_F(CaseDocumentTracing, TracingAndDocumentSurviveTruncationAndDamage)
{
    const QvImageMeasureOps& ops = QvGetImageMeasureOps();
    QvModel empty;
    for (const int version : kTracingVersions)
    {
        SCOPED_TRACE(testing::Message() << std::hex << version);
        const std::string record = TracingRecord(*SourceTracing(), version);
        qvtest::ExpectReaderSurvivesDamage(record, [&](std::istream& is) {
            std::unique_ptr<QvImageMeasure> m(ops.create(1));
            return ops.read(m.get(), is, version, nullptr);
        });
        qvtest::ExpectReaderSurvivesDamage(
            Document(empty, version, record),
            [&](std::istream& is) {
                QvModel model;
                return model.ReadOS(is, version, nullptr);
            },
            200);
    }
}

} // namespace
