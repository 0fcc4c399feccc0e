// SPDX-License-Identifier: GPL-3.0-or-later
// The one place where the user-interface layer edits what the 3-D views show: per-view
// placements, hidden sets and gums of a step, the per-view overlay caches, the shown
// bits and displayed attachments of the case model, the layouts, and the navigation
// of the views (RVDMViewNavigation.cpp). Class operations only; GUI thread only.
//
// Conventions: a null view is the active view (nothing happens without one); a null
// scheme is the scheme the draw state binds to the view's id; a step at or beyond the
// scheme's step count is its last step. Redrawing is left to the caller. Nothing
// happens without an open document where the model is needed.
#pragma once

#include <memory>

#include "core/geometry/QvBBox.h"
#include "core/geometry/QvFrame.h"
#include "core/geometry/QvGDI.h"

class QvModel;
class QvScheme;
class QvView;
class RivelaDoc;

class RVDMViewHandle {
public:
    RVDMViewHandle() = delete;

    // ---- Visibility
    static void viewShowJaw(QvView* view, bool show, bool isUp, bool setJaw);
    // Showing keeps a jaw's gum hidden while none of its teeth is visible in the view.
    static void viewShowGum(QvView* view, bool show, bool isUp);
    static void viewShowGum(QvView* view, bool show);
    static void showRealRoot(bool show);
    static void showJawBone(bool show);
    static void hideExtractedTeeth();

    // ---- Jaw buttons (the flag is not used)
    static void viewShowUpperJaw(QvView* view, bool);
    static void viewShowLowerJaw(QvView* view, bool);
    static void viewShowFaceUpperJaw(QvView* view, bool);
    static void viewShowFaceUpperJaw(QvView* view, bool, int step);
    static void viewShowFaceLowerJaw(QvView* view, bool);
    // Both jaws, gums as the gum button, orientation o with 2 and 3 exchanged.
    static void viewShowModelOrient(QvView* view, int orientation);

    // ---- Layouts
    static void toOneCompView();
    static void toTwoCompView();
    static void toBracketView();

    // ---- A step (a null view in updateView: every view)
    static void updateView(QvView* view, QvScheme* scheme, int step);
    static void updateJawBone(QvView* view, QvScheme* scheme, int step);
    static void updateVirtualTeeth(QvView* view, QvScheme* scheme, int step);
    static void updateAuxLine(QvView* view, QvScheme* scheme, int step);

    // ---- Overlays
    static void showOcclusion(bool show, QvView* view, QvScheme* scheme, int step);
    // Clamped to the treatment steps: over-correction steps show the last treatment step's marks.
    static void showAdjacent(bool show, QvView* view, QvScheme* scheme, int step);
    static void showIPR(bool show, QvView* view, QvScheme* scheme, int step);
    static void showCompareShow(bool show, QvView* view, QvScheme* scheme);

    // ---- Attachments (removed from the model, never deleted: the schemes own them)
    static void hideAllAttachMent();
    static void clearAllAttachment();
    static void hideAllAttachMentWithScheme(QvScheme* scheme);
    static void updateAttachment(QvView* view, QvScheme* scheme, int step);
    static void updateAttachmentAndMultiView(QvScheme* scheme, int step);

    // ---- Access
    static std::shared_ptr<RivelaDoc> currentDocument();
    static QvModel* getModel();

    // ---- Navigation (RVDMViewNavigation.cpp)
    // By the rotate type: 0 free, 1 about the screen's vertical, 2 about its
    // horizontal axis; any other type does nothing.
    static void viewRotate(QvView* view, const QvGDIPoint& point);
    static void viewRotateNormal(QvView* view, const QvGDIPoint& point);
    static void viewRotateHorizontal(QvView* view, const QvGDIPoint& point);
    static void viewRotateVertical(QvView* view, const QvGDIPoint& point);
    static void viewTranslate(QvView* view, const QvGDIPoint& point);
    // 5 % per unit, only within the document's zoom limits.
    static void scaleView(QvView* view, double delta);
    static void viewShowOrient(QvView* view, int orientation);
    // The frame of an orientation 0 to 7; null without a model, an upper jaw, or for
    // any other orientation.
    static std::unique_ptr<QvFrame> getViewFrame(int orientation, bool horizontal);
    static QvBBox calRotateBox(QvView* view);
    static void viewZoomFit();
    static void setViewOrient(int orientation);
    static int viewOrient();
    static void setViewRotateType(int type);
    static int viewRotateType();
};
