#pragma once
// The dictionary of Exif IFDs: Exif 3.0 (CIPA DC-008-2023) section 4.6.5.
// Columns: name, id, expected type, expected count, interpretation.
#include "tiff/tag_table.h"

#define VANTREL_EXIF_TAGS(X)                                                                        \
    X(ExposureTime, 0x829A, kRational, 1, Reading::ExposureTime)                                    \
    X(FNumber, 0x829D, kRational, 1, Reading::Real, "F%.1f")                                        \
    X(ExposureProgram, 0x8822, kShort, 1, Reading::KeyedText, nullptr, kExposureProgramTexts)       \
    X(SpectralSensitivity, 0x8824, kAscii, kAnyCount, Reading::Text)                                \
    X(PhotographicSensitivity, 0x8827, kShort, kAnyCount, Reading::Number, "ISO %d")                \
    X(OECF, 0x8828, kUndefined, kAnyCount)                                                          \
    X(SensitivityType, 0x8830, kShort, 1)                                                           \
    X(StandardOutputSensitivity, 0x8831, kLong, 1)                                                  \
    X(RecommendedExposureIndex, 0x8832, kLong, 1)                                                   \
    X(ISOSpeed, 0x8833, kLong, 1, Reading::Number, "ISO %d")                                        \
    X(ISOSpeedLatitudeyyy, 0x8834, kLong, 1)                                                        \
    X(ISOSpeedLatitudezzz, 0x8835, kLong, 1)                                                        \
    X(ExifVersion, 0x9000, kUndefined, 4, Reading::Version)                                         \
    X(DateTimeOriginal, 0x9003, kAscii, 20, Reading::Text)                                          \
    X(DateTimeDigitized, 0x9004, kAscii, 20, Reading::Text)                                         \
    X(OffsetTime, 0x9010, kAscii, 7, Reading::DateTimePart, " ", kOffsetTimeParts)                  \
    X(OffsetTimeOriginal, 0x9011, kAscii, 7, Reading::DateTimePart, " ", kOffsetTimeOriginalParts)  \
    X(OffsetTimeDigitized, 0x9012, kAscii, 7, Reading::DateTimePart, " ", kOffsetTimeDigitizedParts) \
    X(ComponentsConfiguration, 0x9101, kUndefined, 4)                                               \
    X(CompressedBitsPerPixel, 0x9102, kRational, 1)                                                 \
    X(ShutterSpeedValue, 0x9201, kSRational, 1, Reading::Real, "%.2f EV")                           \
    X(ApertureValue, 0x9202, kRational, 1, Reading::Real, "%.2f EV")                                \
    X(BrightnessValue, 0x9203, kSRational, 1, Reading::Real, "%.2f EV")                             \
    X(ExposureBiasValue, 0x9204, kSRational, 1, Reading::Real, "%+.2f EV")                          \
    X(MaxApertureValue, 0x9205, kRational, 1, Reading::Real, "%.2f EV")                             \
    X(SubjectDistance, 0x9206, kRational, 1, Reading::Real, "%.2f m")                               \
    X(MeteringMode, 0x9207, kShort, 1, Reading::KeyedText, nullptr, kMeteringModeTexts)             \
    X(LightSource, 0x9208, kShort, 1, Reading::KeyedText, nullptr, kLightSourceTexts)               \
    X(Flash, 0x9209, kShort, 1, Reading::Flash)                                                     \
    X(FocalLength, 0x920A, kRational, 1, Reading::Real, "%.1f mm")                                  \
    X(SubjectArea, 0x9214, kShort, kAnyCount)                                                       \
    X(MakerNote, 0x927C, kUndefined, kAnyCount, Reading::MakerNote)                                 \
    X(UserComment, 0x9286, kUndefined, kAnyCount, Reading::UserComment)                             \
    X(SubSecTime, 0x9290, kAscii, kAnyCount, Reading::DateTimePart, ".", kSubSecTimeParts)          \
    X(SubSecTimeOriginal, 0x9291, kAscii, kAnyCount, Reading::DateTimePart, ".", kSubSecTimeOriginalParts) \
    X(SubSecTimeDigitized, 0x9292, kAscii, kAnyCount, Reading::DateTimePart, ".", kSubSecTimeDigitizedParts) \
    X(Temperature, 0x9400, kSRational, 1, Reading::Real, "%.1f degC")                               \
    X(Humidity, 0x9401, kRational, 1, Reading::Real, "%.1f %%")                                     \
    X(Pressure, 0x9402, kRational, 1, Reading::Real, "%.1f hPa")                                    \
    X(WaterDepth, 0x9403, kSRational, 1, Reading::Real, "%.2f m")                                   \
    X(Acceleration, 0x9404, kRational, 1, Reading::Real, "%.2f mGal")                               \
    X(CameraElevationAngle, 0x9405, kSRational, 1, Reading::Real, "%.2f deg")                       \
    X(FlashpixVersion, 0xA000, kUndefined, 4, Reading::Version)                                     \
    X(ColorSpace, 0xA001, kShort, 1, Reading::KeyedText, nullptr, kColorSpaceTexts)                 \
    X(PixelXDimension, 0xA002, kShortOrLong, 1, Reading::Number, "Valid Width : %d")                \
    X(PixelYDimension, 0xA003, kShortOrLong, 1, Reading::Number, "Valid Height : %d")               \
    X(RelatedSoundFile, 0xA004, kAscii, 13, Reading::Text)                                          \
    X(InteroperabilityIFD, 0xA005, kLong, 1, Reading::InteropIfd)                                   \
    X(FlashEnergy, 0xA20B, kRational, 1, Reading::Real, "%.2f BCPS")                                \
    X(SpatialFrequencyResponse, 0xA20C, kUndefined, kAnyCount)                                      \
    X(FocalPlaneXResolution, 0xA20E, kRational, 1)                                                  \
    X(FocalPlaneYResolution, 0xA20F, kRational, 1)                                                  \
    X(FocalPlaneResolutionUnit, 0xA210, kShort, 1)                                                  \
    X(SubjectLocation, 0xA214, kShort, 2)                                                           \
    X(ExposureIndex, 0xA215, kRational, 1)                                                          \
    X(SensingMethod, 0xA217, kShort, 1)                                                             \
    X(FileSource, 0xA300, kUndefined, 1)                                                            \
    X(SceneType, 0xA301, kUndefined, 1)                                                             \
    X(CFAPattern, 0xA302, kUndefined, kAnyCount)                                                    \
    X(CustomRendered, 0xA401, kShort, 1)                                                            \
    X(ExposureMode, 0xA402, kShort, 1, Reading::KeyedText, nullptr, kExposureModeTexts)             \
    X(WhiteBalance, 0xA403, kShort, 1, Reading::KeyedText, nullptr, kWhiteBalanceTexts)             \
    X(DigitalZoomRatio, 0xA404, kRational, 1)                                                       \
    X(FocalLengthIn35mmFilm, 0xA405, kShort, 1, Reading::Number, "%d mm")                           \
    X(SceneCaptureType, 0xA406, kShort, 1, Reading::KeyedText, nullptr, kSceneCaptureTexts)         \
    X(GainControl, 0xA407, kShort, 1)                                                               \
    X(Contrast, 0xA408, kShort, 1)                                                                  \
    X(Saturation, 0xA409, kShort, 1)                                                                \
    X(Sharpness, 0xA40A, kShort, 1)                                                                 \
    X(DeviceSettingDescription, 0xA40B, kUndefined, kAnyCount)                                      \
    X(SubjectDistanceRange, 0xA40C, kShort, 1)                                                      \
    X(ImageUniqueID, 0xA420, kAscii, 33, Reading::Text)                                             \
    X(CameraOwnerName, 0xA430, kAscii, kAnyCount, Reading::Text)                                    \
    X(BodySerialNumber, 0xA431, kAscii, kAnyCount, Reading::Text)                                   \
    X(LensSpecification, 0xA432, kRational, 4, Reading::Numbers, "%.10g")                           \
    X(LensMake, 0xA433, kAscii, kAnyCount, Reading::Text)                                           \
    X(LensModel, 0xA434, kAscii, kAnyCount, Reading::Text)                                          \
    X(LensSerialNumber, 0xA435, kAscii, kAnyCount, Reading::Text)                                   \
    X(ImageTitle, 0xA436, kAscii, kAnyCount, Reading::Text)                                         \
    X(Photographer, 0xA437, kAscii, kAnyCount, Reading::Text)                                       \
    X(ImageEditor, 0xA438, kAscii, kAnyCount, Reading::Text)                                        \
    X(CameraFirmware, 0xA439, kAscii, kAnyCount, Reading::Text)                                     \
    X(RAWDevelopingSoftware, 0xA43A, kAscii, kAnyCount, Reading::Text)                              \
    X(ImageEditingSoftware, 0xA43B, kAscii, kAnyCount, Reading::Text)                               \
    X(MetadataEditingSoftware, 0xA43C, kAscii, kAnyCount, Reading::Text)                            \
    X(CompositeImage, 0xA460, kShort, 1)                                                            \
    X(SourceImageNumberOfCompositeImage, 0xA461, kShort, 2)                                         \
    X(SourceExposureTimesOfCompositeImage, 0xA462, kUndefined, kAnyCount)                           \
    X(Gamma, 0xA500, kRational, 1, Reading::Real, "%.3f")

namespace exif_tag {
enum : uint32_t { VANTREL_EXIF_TAGS(VANTREL_TAG_ID) };
}
