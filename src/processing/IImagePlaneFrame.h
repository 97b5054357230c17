#pragma once
// What an image child frame tells a region drawn in it: the image it shows and the
// plane of that image.
class TMRImage;

class IImagePlaneFrame {
public:
    virtual ~IImagePlaneFrame() = default;

    // The image shown; null when the frame shows none.
    virtual TMRImage* GetImage() const = 0;
    // 0 sagittal, 1 coronal, 2 axial.
    virtual int GetOrientation() const = 0;
    // One value per axis (mm); the orientation's own axis holds the image plane.
    virtual void GetSlicePosition(float position[3]) const = 0;
};
