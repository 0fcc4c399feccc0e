// SPDX-License-Identifier: GPL-3.0-or-later
// Connects a measurement file with the image on screen: reads the file into a case
// model of its own, collects the measures of the shown image's kind and turns their
// draw records into overlay items in points of the image's size. The tracing's lines
// it draws itself, from fixed landmark pairs in a normal or a complex pattern.
//
// Order of use: openRVM, setImageType, loadData, then per entry of measureTypes the
// three item builders; close when done.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/measure/QvCepTables.h"
#include "core/measure/QvImageMeasure.h"
#include "core/measure/RVImageMeasureItems.h"

class QvCepMeasure;
class QvModel;

// The image on screen: its size in points and in pixels.
struct RVImageInfo
{
    double width = 0.0;
    double height = 0.0;
    int pixelWidth = 0;
    int pixelHeight = 0;
    int bitsPerPixel = 32;
};

class RVMInfoHandle
{
public:
    RVMInfoHandle();
    ~RVMInfoHandle();
    RVMInfoHandle(const RVMInfoHandle&) = delete;
    RVMInfoHandle& operator=(const RVMInfoHandle&) = delete;

    // Reads the file into the handle's model (made on first use; a second file adds its
    // measures to those held) and resets the pattern to normal. False when the file
    // could not be read; an empty path reads nothing.
    bool openRVM(const std::string& path);
    void setImageType(unsigned imageKind, const RVImageInfo& image);
    // Collects the unflagged measures of the image kind, gives each a blank image of
    // the shown image's pixel size, and lists their type codes. Nothing without a model.
    void loadData();

    // The first collected measure of the type code, or null.
    QvImageMeasure* imageMeasureByType(int type) const;
    // Items of every collected measure of the type code, in collection order.
    std::vector<RVImageMeasureLine> lineWithType(int type) const;
    std::vector<RVImageMeasurePoint> pointWithType(int type) const;
    std::vector<RVImageMeasureText> textWithType(int type) const;

    // The tracing's lines in the current pattern (image-relative, yellow, solid).
    std::vector<MeasureLine> lineWithCepMeasure(const QvCepMeasure* measure) const;
    static std::vector<std::pair<MEASURE_POINT, MEASURE_POINT>> getBasicLinePairWithIsComplexPattern(bool complex);
    static RVColor colorByTcColor(const QvColor& color, double alpha);
    std::vector<RVImageMeasureLine> lineByCepmeasure() const { return {}; }
    void clear() {}
    // Destroys the model; the collected measures go with it.
    void close();

    bool isComplexPattern() const { return m_bComplexPattern; }
    void setComplexPattern(bool complex) { m_bComplexPattern = complex; }
    const std::vector<unsigned>& measureTypes() const { return m_measureTypes; }
    unsigned imageType() const { return m_nImageType; }
    const RVImageInfo& image() const { return m_image; }

    // Free for callers; the handle never reads it.
    std::map<std::string, std::string> infos;

private:
    // trunc(width), trunc(height) of the image's point size.
    void ImageScale(double& w, double& h) const;

    std::unique_ptr<QvModel> m_pModel;
    std::vector<QvImageMeasure*> imageMeassures;
    bool m_bComplexPattern = false;
    std::vector<unsigned> m_measureTypes;
    unsigned m_nImageType = 0;
    RVImageInfo m_image;
};
