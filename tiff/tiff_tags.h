#pragma once
// The dictionary of TIFF IFDs (the chain and SubIFDs): TIFF 6.0 with its
// technical notes and TIFF-F, TIFF/EP (ISO 12234-2) where it adds to Exif,
// DNG 1.6, GeoTIFF 1.1, and the private tags writers put there (XMP, IPTC,
// Photoshop, ICC, the Exif and GPS pointers, Windows and GDAL tags).
// Columns: name, id, expected type, expected count, interpretation.
#include "tiff/tag_table.h"

#define VANTREL_TIFF_TAGS(X)                                                                        \
    X(NewSubfileType, 254, kLong, 1, Reading::SubfileBits)                                          \
    X(SubfileType, 255, kShort, 1)                                                                  \
    X(ImageWidth, 256, kShortOrLong, 1, Reading::Number, "Horizontal Size = %d")                    \
    X(ImageLength, 257, kShortOrLong, 1, Reading::Number, "Vertical Size = %d")                     \
    X(BitsPerSample, 258, kShort, kAnyCount, Reading::PositionedValues, "[%08lx]Value #%d = 0x%04lx") \
    X(Compression, 259, kShort, 1, Reading::KeyedText, nullptr, kCompressionTexts)                  \
    X(PhotometricInterpretation, 262, kShort, 1, Reading::KeyedText, nullptr, kPhotometricTexts)    \
    X(Threshholding, 263, kShort, 1)                                                                \
    X(CellWidth, 264, kShort, 1)                                                                    \
    X(CellLength, 265, kShort, 1)                                                                   \
    X(FillOrder, 266, kShort, 1)                                                                    \
    X(DocumentName, 269, kAscii, kAnyCount, Reading::Text)                                          \
    X(ImageDescription, 270, kAscii, kAnyCount, Reading::Text)                                      \
    X(Make, 271, kAscii, kAnyCount)                                                                 \
    X(Model, 272, kAscii, kAnyCount)                                                                \
    X(StripOffsets, 273, kShortOrLong, kAnyCount, Reading::StripOffsets)                            \
    X(Orientation, 274, kShort, 1, Reading::KeyedText, nullptr, kOrientationTexts)                  \
    X(SamplesPerPixel, 277, kShort, 1, Reading::KeyedText, nullptr, kSamplesPerPixelTexts)          \
    X(RowsPerStrip, 278, kShortOrLong, 1, Reading::Number, "%d rows per strip")                     \
    X(StripByteCounts, 279, kShortOrLong, kAnyCount, Reading::PositionedCounts,                     \
      "[%08lx]Strip #%d = %d [byte]")                                                               \
    X(MinSampleValue, 280, kShort, kAnyCount)                                                       \
    X(MaxSampleValue, 281, kShort, kAnyCount)                                                       \
    X(XResolution, 282, kRational, 1, Reading::Resolution)                                          \
    X(YResolution, 283, kRational, 1, Reading::Resolution)                                          \
    X(PlanarConfiguration, 284, kShort, 1, Reading::KeyedText, nullptr, kPlanarTexts)               \
    X(PageName, 285, kAscii, kAnyCount)                                                             \
    X(XPosition, 286, kRational, 1)                                                                 \
    X(YPosition, 287, kRational, 1)                                                                 \
    X(FreeOffsets, 288, kLong, kAnyCount)                                                           \
    X(FreeByteCounts, 289, kLong, kAnyCount)                                                        \
    X(GrayResponseUnit, 290, kShort, 1)                                                             \
    X(GrayResponseCurve, 291, kShort, kAnyCount)                                                    \
    X(T4Options, 292, kLong, 1)                                                                     \
    X(T6Options, 293, kLong, 1)                                                                     \
    X(ResolutionUnit, 296, kShort, 1, Reading::ResolutionUnit)                                      \
    X(PageNumber, 297, kShort, 2)                                                                   \
    X(TransferFunction, 301, kShort, kAnyCount)                                                     \
    X(Software, 305, kAscii, kAnyCount, Reading::Text)                                              \
    X(DateTime, 306, kAscii, 20, Reading::Text)                                                     \
    X(Artist, 315, kAscii, kAnyCount)                                                               \
    X(HostComputer, 316, kAscii, kAnyCount)                                                         \
    X(Predictor, 317, kShort, 1, Reading::KeyedText, nullptr, kPredictorTexts)                      \
    X(WhitePoint, 318, kRational, 2)                                                                \
    X(PrimaryChromaticities, 319, kRational, 6)                                                     \
    X(ColorMap, 320, kShort, kAnyCount, Reading::ColorMap)                                          \
    X(HalftoneHints, 321, kShort, 2)                                                                \
    X(TileWidth, 322, kShortOrLong, 1)                                                              \
    X(TileLength, 323, kShortOrLong, 1)                                                             \
    X(TileOffsets, 324, kLong, kAnyCount, Reading::TileOffsets)                                     \
    X(TileByteCounts, 325, kShortOrLong, kAnyCount)                                                 \
    X(BadFaxLines, 326, kShortOrLong, 1)                                                            \
    X(CleanFaxData, 327, kShort, 1)                                                                 \
    X(ConsecutiveBadFaxLines, 328, kShortOrLong, 1)                                                 \
    X(SubIFDs, 330, kIfd, kAnyCount, Reading::SubIfds)                                              \
    X(InkSet, 332, kShort, 1)                                                                       \
    X(InkNames, 333, kAscii, kAnyCount)                                                             \
    X(NumberOfInks, 334, kShort, 1)                                                                 \
    X(DotRange, 336, kShort, kAnyCount)                                                             \
    X(TargetPrinter, 337, kAscii, kAnyCount)                                                        \
    X(ExtraSamples, 338, kShort, kAnyCount, Reading::KeyedText, nullptr, kExtraSampleTexts)         \
    X(SampleFormat, 339, kShort, kAnyCount)                                                         \
    X(SMinSampleValue, 340, kAnyType, kAnyCount)                                                    \
    X(SMaxSampleValue, 341, kAnyType, kAnyCount)                                                    \
    X(TransferRange, 342, kShort, 6)                                                                \
    X(ClipPath, 343, kByte, kAnyCount)                                                              \
    X(XClipPathUnits, 344, kLong, 1)                                                                \
    X(YClipPathUnits, 345, kLong, 1)                                                                \
    X(Indexed, 346, kShort, 1)                                                                      \
    X(JPEGTables, 347, kUndefined, kAnyCount)                                                       \
    X(OPIProxy, 351, kShort, 1)                                                                     \
    X(GlobalParametersIFD, 400, kIfd, 1)                                                            \
    X(ProfileType, 401, kLong, 1)                                                                   \
    X(FaxProfile, 402, kByte, 1)                                                                    \
    X(CodingMethods, 403, kLong, 1)                                                                 \
    X(VersionYear, 404, kByte, 4)                                                                   \
    X(ModeNumber, 405, kByte, 1)                                                                    \
    X(Decode, 433, kSRational, kAnyCount)                                                           \
    X(DefaultImageColor, 434, kShort, kAnyCount)                                                    \
    X(JPEGProc, 512, kShort, 1)                                                                     \
    X(JPEGInterchangeFormat, 513, kLong, 1, Reading::JpegInterchange)                               \
    X(JPEGInterchangeFormatLength, 514, kLong, 1)                                                   \
    X(JPEGRestartInterval, 515, kShort, 1)                                                          \
    X(JPEGLosslessPredictors, 517, kShort, kAnyCount)                                               \
    X(JPEGPointTransforms, 518, kShort, kAnyCount)                                                  \
    X(JPEGQTables, 519, kLong, kAnyCount)                                                           \
    X(JPEGDCTables, 520, kLong, kAnyCount)                                                          \
    X(JPEGACTables, 521, kLong, kAnyCount)                                                          \
    X(YCbCrCoefficients, 529, kRational, 3)                                                         \
    X(YCbCrSubSampling, 530, kShort, 2)                                                             \
    X(YCbCrPositioning, 531, kShort, 1)                                                             \
    X(ReferenceBlackWhite, 532, kRational, 6)                                                       \
    X(StripRowCounts, 559, kLong, kAnyCount)                                                        \
    X(XMP, 700, kByte, kAnyCount, Reading::Packet)                                                  \
    X(Rating, 18246, kShort, 1)                                                                     \
    X(RatingPercent, 18249, kShort, 1)                                                              \
    X(ImageID, 32781, kAscii, kAnyCount)                                                            \
    X(WangAnnotation, 32932, kByte, kAnyCount)                                                      \
    X(Matteing, 32995, kShort, 1)                                                                   \
    X(DataType, 32996, kShort, kAnyCount)                                                           \
    X(ImageDepth, 32997, kShortOrLong, 1)                                                           \
    X(TileDepth, 32998, kShortOrLong, 1)                                                            \
    X(CFARepeatPatternDim, 33421, kShort, 2)                                                        \
    X(CFAPattern, 33422, kByte, kAnyCount)                                                          \
    X(BatteryLevel, 33423, kRational, kAnyCount)                                                    \
    X(Copyright, 33432, kAscii, kAnyCount)                                                          \
    X(ModelPixelScale, 33550, kDouble, 3, Reading::Numbers, "%.10g")                                \
    X(IPTC, 33723, kLong, kAnyCount, Reading::Iptc)                                                 \
    X(ModelTiepoint, 33922, kDouble, kAnyCount, Reading::Numbers, "%.10g")                          \
    X(ModelTransformation, 34264, kDouble, 16, Reading::Numbers, "%.10g")                           \
    X(Photoshop, 34377, kByte, kAnyCount, Reading::Packet)                                          \
    X(ExifIFD, 34665, kLong, 1, Reading::ExifIfd)                                                   \
    X(ICCProfile, 34675, kUndefined, kAnyCount, Reading::IccProfile)                                \
    X(GeoKeyDirectory, 34735, kShort, kAnyCount, Reading::GeoKeyDirectory)                          \
    X(GeoDoubleParams, 34736, kDouble, kAnyCount)                                                   \
    X(GeoAsciiParams, 34737, kAscii, kAnyCount)                                                     \
    X(GPSIFD, 34853, kLong, 1, Reading::GpsIfd)                                                     \
    X(Interlace, 34857, kShort, 1)                                                                  \
    X(TimeZoneOffset, 34858, kSShort, kAnyCount)                                                    \
    X(SelfTimerMode, 34859, kShort, 1)                                                              \
    X(Noise, 37389, kUndefined, kAnyCount)                                                          \
    X(ImageNumber, 37393, kLong, 1)                                                                 \
    X(SecurityClassification, 37394, kAscii, kAnyCount)                                             \
    X(ImageHistory, 37395, kAscii, kAnyCount)                                                       \
    X(TIFFEPStandardID, 37398, kByte, 4)                                                            \
    X(ImageSourceData, 37724, kUndefined, kAnyCount)                                                \
    X(XPTitle, 40091, kByte, kAnyCount)                                                             \
    X(XPComment, 40092, kByte, kAnyCount)                                                           \
    X(XPAuthor, 40093, kByte, kAnyCount)                                                            \
    X(XPKeywords, 40094, kByte, kAnyCount)                                                          \
    X(XPSubject, 40095, kByte, kAnyCount)                                                           \
    X(GDAL_METADATA, 42112, kAscii, kAnyCount, Reading::Text)                                       \
    X(GDAL_NODATA, 42113, kAscii, kAnyCount, Reading::Text)                                         \
    X(PrintIM, 50341, kUndefined, kAnyCount)                                                        \
    X(DNGVersion, 50706, kByte, 4)                                                                  \
    X(DNGBackwardVersion, 50707, kByte, 4)                                                          \
    X(UniqueCameraModel, 50708, kAscii, kAnyCount, Reading::Text)                                   \
    X(LocalizedCameraModel, 50709, kAscii, kAnyCount)                                               \
    X(CFAPlaneColor, 50710, kByte, kAnyCount)                                                       \
    X(CFALayout, 50711, kShort, 1)                                                                  \
    X(LinearizationTable, 50712, kShort, kAnyCount)                                                 \
    X(BlackLevelRepeatDim, 50713, kShort, 2)                                                        \
    X(BlackLevel, 50714, kRational, kAnyCount)                                                      \
    X(BlackLevelDeltaH, 50715, kSRational, kAnyCount)                                               \
    X(BlackLevelDeltaV, 50716, kSRational, kAnyCount)                                               \
    X(WhiteLevel, 50717, kLong, kAnyCount)                                                          \
    X(DefaultScale, 50718, kRational, 2)                                                            \
    X(DefaultCropOrigin, 50719, kRational, 2)                                                       \
    X(DefaultCropSize, 50720, kRational, 2)                                                         \
    X(ColorMatrix1, 50721, kSRational, kAnyCount)                                                   \
    X(ColorMatrix2, 50722, kSRational, kAnyCount)                                                   \
    X(CameraCalibration1, 50723, kSRational, kAnyCount)                                             \
    X(CameraCalibration2, 50724, kSRational, kAnyCount)                                             \
    X(ReductionMatrix1, 50725, kSRational, kAnyCount)                                               \
    X(ReductionMatrix2, 50726, kSRational, kAnyCount)                                               \
    X(AnalogBalance, 50727, kRational, kAnyCount)                                                   \
    X(AsShotNeutral, 50728, kRational, kAnyCount)                                                   \
    X(AsShotWhiteXY, 50729, kRational, 2)                                                           \
    X(BaselineExposure, 50730, kSRational, 1)                                                       \
    X(BaselineNoise, 50731, kRational, 1)                                                           \
    X(BaselineSharpness, 50732, kRational, 1)                                                       \
    X(BayerGreenSplit, 50733, kLong, 1)                                                             \
    X(LinearResponseLimit, 50734, kRational, 1)                                                     \
    X(CameraSerialNumber, 50735, kAscii, kAnyCount)                                                 \
    X(LensInfo, 50736, kRational, 4)                                                                \
    X(ChromaBlurRadius, 50737, kRational, 1)                                                        \
    X(AntiAliasStrength, 50738, kRational, 1)                                                       \
    X(ShadowScale, 50739, kRational, 1)                                                             \
    X(DNGPrivateData, 50740, kByte, kAnyCount)                                                      \
    X(MakerNoteSafety, 50741, kShort, 1)                                                            \
    X(CalibrationIlluminant1, 50778, kShort, 1)                                                     \
    X(CalibrationIlluminant2, 50779, kShort, 1)                                                     \
    X(BestQualityScale, 50780, kRational, 1)                                                        \
    X(RawDataUniqueID, 50781, kByte, 16)                                                            \
    X(OriginalRawFileName, 50827, kByte, kAnyCount)                                                 \
    X(OriginalRawFileData, 50828, kUndefined, kAnyCount)                                            \
    X(ActiveArea, 50829, kShortOrLong, 4)                                                           \
    X(MaskedAreas, 50830, kShortOrLong, kAnyCount)                                                  \
    X(AsShotICCProfile, 50831, kUndefined, kAnyCount)                                               \
    X(AsShotPreProfileMatrix, 50832, kSRational, kAnyCount)                                         \
    X(CurrentICCProfile, 50833, kUndefined, kAnyCount)                                              \
    X(CurrentPreProfileMatrix, 50834, kSRational, kAnyCount)                                        \
    X(RPCCoefficient, 50844, kDouble, kAnyCount)                                                    \
    X(ColorimetricReference, 50879, kShort, 1)                                                      \
    X(CameraCalibrationSignature, 50931, kByte, kAnyCount)                                          \
    X(ProfileCalibrationSignature, 50932, kByte, kAnyCount)                                         \
    X(ExtraCameraProfiles, 50933, kLong, kAnyCount)                                                 \
    X(AsShotProfileName, 50934, kByte, kAnyCount)                                                   \
    X(NoiseReductionApplied, 50935, kRational, 1)                                                   \
    X(ProfileName, 50936, kByte, kAnyCount)                                                         \
    X(ProfileHueSatMapDims, 50937, kLong, 3)                                                        \
    X(ProfileHueSatMapData1, 50938, kFloat, kAnyCount)                                              \
    X(ProfileHueSatMapData2, 50939, kFloat, kAnyCount)                                              \
    X(ProfileToneCurve, 50940, kFloat, kAnyCount)                                                   \
    X(ProfileEmbedPolicy, 50941, kLong, 1)                                                          \
    X(ProfileCopyright, 50942, kByte, kAnyCount)                                                    \
    X(ForwardMatrix1, 50964, kSRational, kAnyCount)                                                 \
    X(ForwardMatrix2, 50965, kSRational, kAnyCount)                                                 \
    X(PreviewApplicationName, 50966, kByte, kAnyCount)                                              \
    X(PreviewApplicationVersion, 50967, kByte, kAnyCount)                                           \
    X(PreviewSettingsName, 50968, kByte, kAnyCount)                                                 \
    X(PreviewSettingsDigest, 50969, kByte, 16)                                                      \
    X(PreviewColorSpace, 50970, kLong, 1)                                                           \
    X(PreviewDateTime, 50971, kAscii, kAnyCount)                                                    \
    X(RawImageDigest, 50972, kUndefined, 16)                                                        \
    X(OriginalRawFileDigest, 50973, kUndefined, 16)                                                 \
    X(SubTileBlockSize, 50974, kShortOrLong, 2)                                                     \
    X(RowInterleaveFactor, 50975, kShortOrLong, 1)                                                  \
    X(ProfileLookTableDims, 50981, kLong, 3)                                                        \
    X(ProfileLookTableData, 50982, kFloat, kAnyCount)                                               \
    X(OpcodeList1, 51008, kUndefined, kAnyCount)                                                    \
    X(OpcodeList2, 51009, kUndefined, kAnyCount)                                                    \
    X(OpcodeList3, 51022, kUndefined, kAnyCount)                                                    \
    X(NoiseProfile, 51041, kDouble, kAnyCount)                                                      \
    X(OriginalDefaultFinalSize, 51089, kShortOrLong, 2)                                             \
    X(OriginalBestQualityFinalSize, 51090, kShortOrLong, 2)                                         \
    X(OriginalDefaultCropSize, 51091, kRational, 2)                                                 \
    X(ProfileHueSatMapEncoding, 51107, kLong, 1)                                                    \
    X(ProfileLookTableEncoding, 51108, kLong, 1)                                                    \
    X(BaselineExposureOffset, 51109, kSRational, 1)                                                 \
    X(DefaultBlackRender, 51110, kLong, 1)                                                          \
    X(NewRawImageDigest, 51111, kByte, 16)                                                          \
    X(RawToPreviewGain, 51112, kDouble, 1)                                                          \
    X(DefaultUserCrop, 51125, kRational, 4)                                                         \
    X(DepthFormat, 51177, kShort, 1)                                                                \
    X(DepthNear, 51178, kRational, 1)                                                               \
    X(DepthFar, 51179, kRational, 1)                                                                \
    X(DepthUnits, 51180, kShort, 1)                                                                 \
    X(DepthMeasureType, 51181, kShort, 1)                                                           \
    X(EnhanceParams, 51182, kAscii, kAnyCount)                                                      \
    X(ProfileGainTableMap, 52525, kUndefined, kAnyCount)                                            \
    X(SemanticName, 52526, kAscii, kAnyCount)                                                       \
    X(SemanticInstanceID, 52528, kAscii, kAnyCount)                                                 \
    X(CalibrationIlluminant3, 52529, kShort, 1)                                                     \
    X(CameraCalibration3, 52530, kSRational, kAnyCount)                                             \
    X(ColorMatrix3, 52531, kSRational, kAnyCount)                                                   \
    X(ForwardMatrix3, 52532, kSRational, kAnyCount)                                                 \
    X(IlluminantData1, 52533, kUndefined, kAnyCount)                                                \
    X(IlluminantData2, 52534, kUndefined, kAnyCount)                                                \
    X(IlluminantData3, 52535, kUndefined, kAnyCount)                                                \
    X(MaskSubArea, 52536, kLong, 4)                                                                 \
    X(ProfileHueSatMapData3, 52537, kFloat, kAnyCount)                                              \
    X(ReductionMatrix3, 52538, kSRational, kAnyCount)                                               \
    X(RGBTables, 52543, kUndefined, kAnyCount)                                                      \
    X(ProfileDynamicRange, 52544, kUndefined, 12)                                                   \
    X(ProfileGroupName, 52545, kByte, kAnyCount)                                                    \
    X(Padding, 59932, kUndefined, kAnyCount)                                                        \
    X(OffsetSchema, 59933, kSLong, 1)

namespace tiff_tag {
enum : uint32_t { VANTREL_TIFF_TAGS(VANTREL_TAG_ID) };
}

// Compression schemes: TIFF 6.0 section 3 and its technical notes. Columns:
// name, code, the Compression entry's text, the rough summary's text.
#define VANTREL_COMPRESSIONS(X)                                                                                     \
    X(Uncompressed, 1, "Uncompressed", "[圧縮形式] 非圧縮 】")                                                   \
    X(ModifiedHuffman, 2, "CCITT Group 3 1 - Dimensional Modified Huffman Run Length Encode",                       \
      "[圧縮形式] CCITT Group 3 1-Dimensional Modified Huffmanランレングスエンコード 】")                        \
    X(FaxT4, 3, "T4-Encode", "[圧縮形式] T4-エンコード 】")                                                       \
    X(FaxT6, 4, "T6-Encode", "[圧縮形式] T6-エンコード 】")                                                       \
    X(Lzw, 5, "LZW", "[圧縮形式] LZW 】")                                                                         \
    X(OldJpeg, 6, "JPEG", "[圧縮形式] JPEG 】")                                                                   \
    X(Jpeg, 7, "JPEG", "[圧縮形式] JPEG 】")                                                                      \
    X(AdobeDeflate, 8, "Adobe Deflate", "[圧縮形式] Deflate 】")                                                  \
    X(PackBits, 32773, "PackBits", "[圧縮形式] PackBits圧縮 】")                                                  \
    X(Deflate, 32946, "Deflate", "[圧縮形式] Deflate 】")

namespace compression {
#define VANTREL_COMPRESSION_ID(name, code, ...) k##name = code,
enum : uint32_t { VANTREL_COMPRESSIONS(VANTREL_COMPRESSION_ID) };
#undef VANTREL_COMPRESSION_ID
}

// The rough summary's text of a Compression value.
const char* CompressionSummary(uint32_t compression);
