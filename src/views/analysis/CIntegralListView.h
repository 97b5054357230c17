#pragma once
// The list of an integral window: one row per integrated peak in the order of arrival,
// with its name (edited in place), ppm bounds, integral and normalized value. The list
// owns its regions and the normalisation factor that turns integrals into normalized
// values.
#include <QTreeWidget>

#include <memory>
#include <vector>

class CIntegralWnd;
class TIntegralRegion;

class CIntegralListView : public QTreeWidget {
    Q_OBJECT
public:
    explicit CIntegralListView(CIntegralWnd* owner);
    ~CIntegralListView() override;

    // Appends a region (taking it over) and refills; null is ignored.
    void AddIntegral(TIntegralRegion* region);
    // Rebuilds the rows from the regions; every normalized value is integral x factor.
    void Refill();
    // Rows of the selected items, in list order.
    std::vector<int> SelectedRows() const;
    // Deletes the regions of these rows (in list order) and refills.
    void RemoveRows(const std::vector<int>& rows);

    const std::vector<std::unique_ptr<TIntegralRegion>>& Regions() const { return m_regions; }
    float Factor() const { return m_fFactor; }
    void SetFactor(float factor) { m_fFactor = factor; }

private:
    // A name edited in the first column becomes the region's name.
    void OnItemChanged(QTreeWidgetItem* item, int column);

    CIntegralWnd* m_pOwner;
    std::vector<std::unique_ptr<TIntegralRegion>> m_regions;
    float m_fFactor = 1.0f;
};
