// SPDX-License-Identifier: GPL-3.0-or-later
// Fixed attachment shapes: every attachment of these kinds uses the library template
// itself. The standard geometry adds a placement frame, a size and a label; its
// subclasses differ only in the codes they answer.
#pragma once

#include <string>

#include "core/design/QvAttachGeo.h"

class QvAttachGeoStd : public QvAttachGeo
{
public:
    QvAttachGeoStd() = default;
    QvAttachGeoStd(const QvAttachGeoStd& other) = default;
    ~QvAttachGeoStd() override = default;

    // Nothing for a version above 16389.
    std::ostream& Write(std::ostream& os, int version) const override;
    // False when the base part or any own field fails, or the version is above 16389.
    [[nodiscard]] bool Read(std::istream& is, int version, QvModel* model) override;

    void SetFrame(const QvFrame& frame) override { m_frame = frame; }
    QvFrame GetFrame() const override { return m_frame; }
    void SetSize(const double& size) override { m_dSize = size; }
    double GetSize() const override { return m_dSize; }
    void SetLabel(const std::string& label) override { m_label = label; }
    std::string GetLabel() const override { return m_label; }
    // inPlane: the frame's reversed Z axis projected into the plane; normal: the plane's.
    void GetAxes(const QvPlane& plane, const QvFrame& frame, QvVector& inPlane, QvVector& normal) const override;
    std::string GetClassName() const override { return "QvAttachGeoStd"; }
    int GetKindCode() const override { return kQvAttachKindStd; }

    QvFrame m_frame;
    double m_dSize = 0.0;
    std::string m_label;

protected:
    std::ostream& WriteStd(std::ostream& os, int version) const;
    [[nodiscard]] bool ReadStd(std::istream& is, int version, QvModel* model);
};

// The named standard shapes. Only the class-name template form makes them; the
// kind-code form reads them as plain standard geometries.
class QvAttachGeoStdCZ : public QvAttachGeoStd
{
public:
    QvAttachGeoStdCZ() = default;
    QvAttachGeoStdCZ(const QvAttachGeoStdCZ& other) = default;
    ~QvAttachGeoStdCZ() override = default;
    QvTypeCode GetType() const override { return kQvTypeAttachGeoStdCZ; }
    bool IsKindOf(QvTypeCode code) const override { return qvattach::IsKindOfCode(kQvTypeAttachGeoStdCZ, code); }
    std::string GetClassName() const override { return "QvAttachGeoStdCZ"; }
};

class QvAttachGeoStdSP : public QvAttachGeoStd
{
public:
    QvAttachGeoStdSP() = default;
    QvAttachGeoStdSP(const QvAttachGeoStdSP& other) = default;
    ~QvAttachGeoStdSP() override = default;
    QvTypeCode GetType() const override { return kQvTypeAttachGeoStdSP; }
    bool IsKindOf(QvTypeCode code) const override { return qvattach::IsKindOfCode(kQvTypeAttachGeoStdSP, code); }
    std::string GetClassName() const override { return "QvAttachGeoStdSP"; }
};

class QvAttachGeoStdSJ : public QvAttachGeoStd
{
public:
    QvAttachGeoStdSJ() = default;
    QvAttachGeoStdSJ(const QvAttachGeoStdSJ& other) = default;
    ~QvAttachGeoStdSJ() override = default;
    QvTypeCode GetType() const override { return kQvTypeAttachGeoStdSJ; }
    bool IsKindOf(QvTypeCode code) const override { return qvattach::IsKindOfCode(kQvTypeAttachGeoStdSJ, code); }
    std::string GetClassName() const override { return "QvAttachGeoStdSJ"; }
};

class QvAttachGeoStdSD : public QvAttachGeoStd
{
public:
    QvAttachGeoStdSD() = default;
    QvAttachGeoStdSD(const QvAttachGeoStdSD& other) = default;
    ~QvAttachGeoStdSD() override = default;
    QvTypeCode GetType() const override { return kQvTypeAttachGeoStdSD; }
    bool IsKindOf(QvTypeCode code) const override { return qvattach::IsKindOfCode(kQvTypeAttachGeoStdSD, code); }
    std::string GetClassName() const override { return "QvAttachGeoStdSD"; }
};

class QvAttachGeoStdNZ : public QvAttachGeoStd
{
public:
    QvAttachGeoStdNZ() = default;
    QvAttachGeoStdNZ(const QvAttachGeoStdNZ& other) = default;
    ~QvAttachGeoStdNZ() override = default;
    QvTypeCode GetType() const override { return kQvTypeAttachGeoStdNZ; }
    bool IsKindOf(QvTypeCode code) const override { return qvattach::IsKindOfCode(kQvTypeAttachGeoStdNZ, code); }
    std::string GetClassName() const override { return "QvAttachGeoStdNZ"; }
};

class QvAttachGeoStdPD : public QvAttachGeoStd
{
public:
    QvAttachGeoStdPD() = default;
    QvAttachGeoStdPD(const QvAttachGeoStdPD& other) = default;
    ~QvAttachGeoStdPD() override = default;
    QvTypeCode GetType() const override { return kQvTypeAttachGeoStdPD; }
    bool IsKindOf(QvTypeCode code) const override { return qvattach::IsKindOfCode(kQvTypeAttachGeoStdPD, code); }
    std::string GetClassName() const override { return "QvAttachGeoStdPD"; }
    // Kept for the interface; no shape of this class has the mark.
    virtual bool TestPDFlag() const { return false; }
};

// Lower device: its name's sixth letter tells the variant.
class QvAttachGeoLowerDev : public QvAttachGeoStd
{
public:
    QvAttachGeoLowerDev() = default;
    QvAttachGeoLowerDev(const QvAttachGeoLowerDev& other) = default;
    ~QvAttachGeoLowerDev() override = default;
    QvTypeCode GetType() const override { return kQvTypeAttachGeoLowerDev; }
    bool IsKindOf(QvTypeCode code) const override
    {
        return qvattach::IsKindOfCode(kQvTypeAttachGeoLowerDev, code);
    }
    int GetKindCode() const override { return kQvAttachKindLowerDev; }
    // True exactly when the name has a sixth byte and it is '2'.
    bool TestNameCode() const override;
};

// Towing hook and lingual button share one type code; the kind code tells them apart.
class QvAttachGeoTowingHook : public QvAttachGeoStd
{
public:
    QvAttachGeoTowingHook() = default;
    QvAttachGeoTowingHook(const QvAttachGeoTowingHook& other) = default;
    ~QvAttachGeoTowingHook() override = default;
    QvTypeCode GetType() const override { return kQvTypeAttachGeoLingualButton; }
    bool IsKindOf(QvTypeCode code) const override
    {
        return qvattach::IsKindOfCode(kQvTypeAttachGeoLingualButton, code);
    }
    int GetKindCode() const override { return kQvAttachKindTowingHook; }
};

class QvAttachGeoLingualButton : public QvAttachGeoStd
{
public:
    QvAttachGeoLingualButton() = default;
    QvAttachGeoLingualButton(const QvAttachGeoLingualButton& other) = default;
    ~QvAttachGeoLingualButton() override = default;
    QvTypeCode GetType() const override { return kQvTypeAttachGeoLingualButton; }
    bool IsKindOf(QvTypeCode code) const override
    {
        return qvattach::IsKindOfCode(kQvTypeAttachGeoLingualButton, code);
    }
    int GetKindCode() const override { return kQvAttachKindLingualButton; }
};
