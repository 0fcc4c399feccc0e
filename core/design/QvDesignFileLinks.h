// SPDX-License-Identifier: GPL-3.0-or-later
// This library's side of the data-file layer: attachment templates (ATT) and bracket
// series (BKT) are read and written through one link that the file layer calls. The
// attachment half lives here; the bracket-series half is supplied by the bracket
// classes through QvSetBracketFileLink, so that each half can change on its own.
#pragma once

#include <iosfwd>
#include <memory>

class QvBracketGeoSeries;
class QvModel;

// The bracket-series half of the design file link.
class QvBracketFileLink
{
public:
    virtual ~QvBracketFileLink() = default;
    virtual QvBracketGeoSeries* NewSeries() = 0;
    [[nodiscard]] virtual bool ReadSeries(QvBracketGeoSeries& series, std::istream& is, int version,
                                          QvModel* model) = 0;
    virtual void WriteSeries(const QvBracketGeoSeries& series, std::ostream& os, int version) = 0;
    virtual void DeleteSeries(QvBracketGeoSeries* series) = 0;
};

// Installs the bracket half (null removes it). Until one is installed, series files
// read as bad bodies and a series writer writes no body.
void QvSetBracketFileLink(std::unique_ptr<QvBracketFileLink> link);
QvBracketFileLink* QvGetBracketFileLink();

// Installs the design file link in the file layer (replacing any present one).
void QvInstallDesignFileLink();
// Installs it only when the file layer has no design link yet.
void QvEnsureDesignFileLink();
