// SPDX-License-Identifier: GPL-3.0-or-later
// The parts of the data files whose records belong to libraries above the case
// model: the schemes (case-document section, dental-model default scheme, scheme
// files), the measurement-file body, attachment templates and bracket series. The
// file layer and the case-document bodies reach them through these links, which the
// owning library installs once at start-up. While a link is missing, a file that
// holds such records reads as a bad body (code 1, false or null) and a writer that
// would have to write them answers false; nothing crashes.
#pragma once

#include <iosfwd>
#include <memory>
#include <string>

class QvAttachGeo;
class QvBracketGeoSeries;
class QvModel;
class QvScheme;

class QvSchemeFileLink
{
public:
    virtual ~QvSchemeFileLink() = default;

    // The scheme section of a case document (int32 count, then the scheme records),
    // read into the model's scheme manager (created when the model has none); the
    // schemes are bound to owner, or to model when owner is null.
    [[nodiscard]] virtual bool ReadDocumentSchemes(std::istream& is, int version, QvModel& model,
                                                   QvModel* owner) = 0;
    // The section as written: int32 1 and the current scheme (int32 0 without one).
    virtual void WriteDocumentSchemes(std::ostream& os, int version, const QvModel& model) = 0;
    // After a dental model was read: a new scheme "default" in group 0 with its
    // initial steps, made current.
    [[nodiscard]] virtual bool AddDefaultScheme(QvModel& model) = 0;

    // Scheme files: a new empty scheme bound to model (owned by the caller), its
    // stand-alone record, and its deletion.
    virtual QvScheme* NewScheme(QvModel& model) = 0;
    [[nodiscard]] virtual bool ReadScheme(QvScheme& scheme, std::istream& is, int version, QvModel& model) = 0;
    virtual void WriteScheme(const QvScheme& scheme, std::ostream& os, int version) = 0;
    virtual void DeleteScheme(QvScheme* scheme) = 0;
};

class QvMeasureFileLink
{
public:
    virtual ~QvMeasureFileLink() = default;
    // The body of a measurement file after its header line.
    [[nodiscard]] virtual bool ReadBody(std::istream& is, int version, QvModel& model) = 0;
    virtual void WriteBody(std::ostream& os, int version, const QvModel& model) = 0;
};

class QvDesignFileLink
{
public:
    virtual ~QvDesignFileLink() = default;

    // New empty attachment geometries (owned by the caller), null for a name or code
    // that names no geometry class.
    virtual QvAttachGeo* CreateAttachGeoByClassName(const std::string& className) = 0;
    virtual QvAttachGeo* CreateAttachGeoByKindCode(int kindCode) = 0;
    // The template body after the class name or kind code.
    [[nodiscard]] virtual bool ReadAttachGeo(QvAttachGeo& geo, std::istream& is, int version, QvModel* model) = 0;
    virtual void DeleteAttachGeo(QvAttachGeo* geo) = 0;

    virtual QvBracketGeoSeries* NewBracketSeries() = 0;
    [[nodiscard]] virtual bool ReadBracketSeries(QvBracketGeoSeries& series, std::istream& is, int version,
                                                 QvModel* model) = 0;
    virtual void WriteBracketSeries(const QvBracketGeoSeries& series, std::ostream& os, int version) = 0;
    virtual void DeleteBracketSeries(QvBracketGeoSeries* series) = 0;
};

// Each installs its link (replacing any present one); null removes it, which is also
// the reset for tests. The getters answer the installed link or null.
void QvSetSchemeFileLink(std::unique_ptr<QvSchemeFileLink> link);
QvSchemeFileLink* QvGetSchemeFileLink();
void QvSetMeasureFileLink(std::unique_ptr<QvMeasureFileLink> link);
QvMeasureFileLink* QvGetMeasureFileLink();
void QvSetDesignFileLink(std::unique_ptr<QvDesignFileLink> link);
QvDesignFileLink* QvGetDesignFileLink();
