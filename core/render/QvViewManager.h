// SPDX-License-Identifier: GPL-3.0-or-later
// The views of the 3-D window: their layouts (one view, two side by side, the
// bracket layout of one large and three small views, a 2 x 2 grid), the active
// view, and navigation that the link flags can make act on all views at once.
#pragma once

#include <cstdint>
#include <vector>

#include "core/geometry/QvGDI.h"
#include "core/geometry/QvMatrix.h"
#include "core/geometry/QvPoint.h"

class QvEntity;
class QvGum;
class QvView;

// Link flags: which navigation acts on every view.
inline constexpr std::uint32_t kQvLinkRotate = 0x1;
inline constexpr std::uint32_t kQvLinkTranslate = 0x10;
inline constexpr std::uint32_t kQvLinkScale = 0x100;

class QvViewManager
{
public:
    QvViewManager() = default;
    QvViewManager(const QvViewManager&) = delete;
    QvViewManager& operator=(const QvViewManager&) = delete;
    // Deletes the views.
    ~QvViewManager();

    // The process-wide manager, made on first use.
    static QvViewManager* Instance();
    // Back to the new state: no views, active id -1, size 0 x 0, no link flags.
    void ResetForTests();

    void SetSize(std::int32_t width, std::int32_t height);
    void GetSize(std::int32_t& width, std::int32_t& height) const;

    // Appends the main view (id 0) over the whole window and makes it active.
    void InitActiveView();
    // Deletes every view; active id -1.
    void Clear();

    void SetActiveView(QvView* view);
    void SetActiveViewId(std::int32_t id) { m_activeId = id; }
    std::int32_t GetActiveViewId() const { return m_activeId; }
    // Null when no view has the active id.
    QvView* GetActiveView() const;
    QvView* GetView(std::int32_t id) const;
    // The first view in list order whose rectangle (edges included) holds the point.
    QvView* GetViewAtPoint(const QvGDIPoint& p) const;
    // The first view whose stored model-view equals the matrix element by element within 1e-7.
    QvView* FindViewByModelView(const double matrix[16]) const;
    const std::vector<QvView*>& GetViews() const { return m_views; }
    std::size_t GetViewCount() const { return m_views.size(); }

    // Layouts. Each needs the main view and does nothing without it or with a view
    // count it does not apply to.
    void ToOneCompView();
    void ToTwoCompView();
    void ToBracketView();
    // The 2 x 2 grid, from at most one view; the new views copy the main view's navigation.
    void ToFourView();
    // After a resize: the main view over the whole window (at most one view) ...
    void FitSingleView();
    // ... or the present layout recomputed (two or four views).
    void LayoutViews();

    // Navigation; the link flags extend each to every other view, once each.
    void ScaleView(QvView* view, double factor);
    void TranslateView(QvView* view, const QvVector& v);
    // rotation = r x rotation (r is 3 x 3).
    void RotateView(QvView* view, const QvMatrix& r);
    // Turns the view so that xAxis and yAxis lie along the screen's X and Y while p
    // keeps its window position in that view.
    void SetViewOrient(QvView* view, const QvPoint& p, const QvVector& xAxis, const QvVector& yAxis);

    // Broadcasts to the draw information of every view.
    void ShowAllEntities();
    void ResetDrawInfos();
    void SetGums(QvGum* upper, QvGum* lower);
    void SetEntityMatrix(QvEntity* entity, const QvMatrix& matrix, bool ghost);
    bool ClearEntityMatrices(QvEntity* entity);
    // False, and nothing done, for a null entity.
    bool ShowEntity(QvEntity* entity);
    void RemoveEntityMatrixInViews(QvEntity* entity, bool ghost, const std::vector<QvView*>& views);

    std::uint32_t m_linkFlags = 0;
    std::int32_t m_width = 0;
    std::int32_t m_height = 0;
    std::int32_t m_activeId = -1;
    std::vector<QvView*> m_views; // owned, in creation order

private:
    QvView* AddView(std::int32_t id, const QvGDIPoint& origin, std::int32_t width, std::int32_t height);
    void PlaceBracketViews();
    // Views 1 to 3 looking as view 0 does; false, adding nothing, unless view 0 stands
    // alone.
    bool AddThreeViewsLikeMain();
};
