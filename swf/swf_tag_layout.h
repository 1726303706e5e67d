#pragma once
// The fields of the SWF tags people look for, laid out below each tag's
// header line; every other tag gets one data line over its body, so that
// every byte of a tag is accounted for. The body is read into memory
// (at most kMaxBodyBytes; a larger one is one data line) and read from there,
// except the pictures, whose data the nested analyses read from the stream,
// and the tags of a sprite, which the tag walk lays out again.
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "core/analysis_run.h"
#include "core/result_line.h"
#include "swf/body_place.h"
#include "swf/swf_bits_picture.h"
#include "swf/swf_field_cursor.h"

class CSwfTagLayout {
public:
    static constexpr uint32_t kMaxBodyBytes = uint32_t{64} << 20;

    // Walks the tags at [at, end) of a sprite under parent.
    using SpriteWalk = std::function<void(LineId parent, uint64_t at, uint64_t end)>;

    CSwfTagLayout(const AnalysisRequest& request, CTreeWriter out, FILE* fp, BodyPlace place, SpriteWalk walk);

    // The body of the tag of code at [at, at + length), under its line tag;
    // frame is the number of the frame a ShowFrame tag ends.
    void LayOut(LineId tag, uint32_t code, uint64_t at, uint32_t length, uint32_t frame);

    using Fields = void (CSwfTagLayout::*)(LineId tag, CSwfFieldCursor& c, uint32_t code);

private:
    struct FieldsEntry {
        uint16_t code;
        Fields fields;
    };
    static const FieldsEntry kFields[];

    LineId Field(LineId parent, uint64_t at, uint64_t length, const std::string& text) const;
    // A data line over what the fields left of the body.
    void Rest(LineId tag, CSwfFieldCursor& c, const char* name = "Data") const;
    void U16Field(LineId tag, CSwfFieldCursor& c, const char* name) const;
    void ByteField(LineId tag, CSwfFieldCursor& c, const char* name) const;
    void StringField(LineId tag, CSwfFieldCursor& c, const char* name) const;
    void Rect(LineId tag, CSwfFieldCursor& c, const char* name) const;
    void Matrix(LineId tag, CSwfFieldCursor& c) const;
    void Cxform(LineId tag, CSwfFieldCursor& c, bool alpha) const;
    void IdNamePairs(LineId tag, CSwfFieldCursor& c) const;

    void FileAttributes(LineId tag, CSwfFieldCursor& c, uint32_t code);
    void BackgroundColor(LineId tag, CSwfFieldCursor& c, uint32_t code);
    void Metadata(LineId tag, CSwfFieldCursor& c, uint32_t code);
    void ScriptLimits(LineId tag, CSwfFieldCursor& c, uint32_t code);
    void ProductInfo(LineId tag, CSwfFieldCursor& c, uint32_t code);
    void Debugger(LineId tag, CSwfFieldCursor& c, uint32_t code);
    void FrameLabel(LineId tag, CSwfFieldCursor& c, uint32_t code);
    void Assets(LineId tag, CSwfFieldCursor& c, uint32_t code);
    void DoAbc(LineId tag, CSwfFieldCursor& c, uint32_t code);
    void SceneData(LineId tag, CSwfFieldCursor& c, uint32_t code);
    void BinaryData(LineId tag, CSwfFieldCursor& c, uint32_t code);
    void PlaceObject(LineId tag, CSwfFieldCursor& c, uint32_t code);
    void PlaceObject2(LineId tag, CSwfFieldCursor& c, uint32_t code);
    void PlaceObject3(LineId tag, CSwfFieldCursor& c, uint32_t code);
    void PlaceTail(LineId tag, CSwfFieldCursor& c, uint32_t flags);
    void RemoveObject(LineId tag, CSwfFieldCursor& c, uint32_t code);
    void Shape(LineId tag, CSwfFieldCursor& c, uint32_t code);
    void Sound(LineId tag, CSwfFieldCursor& c, uint32_t code);
    void SoundFormat(LineId tag, CSwfFieldCursor& c, const char* prefix) const;
    void VideoStream(LineId tag, CSwfFieldCursor& c, uint32_t code);
    void Font(LineId tag, CSwfFieldCursor& c, uint32_t code);
    void Text(LineId tag, CSwfFieldCursor& c, uint32_t code);
    void Action(LineId tag, CSwfFieldCursor& c, uint32_t code);
    void JpegTables(LineId tag, CSwfFieldCursor& c, uint32_t code);
    void BitsJpeg(LineId tag, CSwfFieldCursor& c, uint32_t code);
    void BitsLossless(LineId tag, CSwfFieldCursor& c, uint32_t code);

    void Sprite(LineId tag, uint64_t at, uint32_t length);
    bool ReadBody(uint64_t at, uint32_t length, std::vector<uint8_t>& body) const;

    const AnalysisRequest& request_;
    CTreeWriter out_;
    FILE* fp_;
    BodyPlace place_;
    SpriteWalk walk_;
    CSwfBitsPicture pictures_;
    std::vector<uint8_t> jpegTables_;
    // The background colour pictures with alpha are composited over, white
    // until a SetBackgroundColor tag says otherwise.
    uint8_t background_[3] = {255, 255, 255};
};
