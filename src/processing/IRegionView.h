#pragma once
// What a picture view offers to the drawing of user-drawn regions: the image its frame
// shows, its zoom and the canvas of its region layer. The view chooses pen and brush
// before it asks the regions to draw.
namespace vx {
class TCanvas;
}

class TMRImage;

class IRegionView {
public:
    virtual ~IRegionView() = default;

    // The image of the view's frame; null when the frame shows none.
    virtual const TMRImage* GetImage() const = 0;
    // An image pixel coordinate times the view's zoom, truncated toward zero.
    virtual int ZoomLength(int length) const = 0;
    virtual vx::TCanvas& GetRegionLayer() = 0;
};
