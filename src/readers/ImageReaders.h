#pragma once
// The image readers of this library, installed into the model's image-reader hooks by
// image type, so that TImageSet::AddImages reaches them.

// Installs every image reader this library has (type 0 Philips PAR/REC, type 1 GE Genesis,
// type 2 GE DICOM, type 3 Siemens MAG, type 4 standard DICOM, type 5 Bruker 2dseq, type 6
// raw).
void RegisterImageReaders();
