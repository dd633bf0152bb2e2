// Where the image combo draws the parts of one entry: portable arithmetic,
// so that it builds and is tested natively.
#pragma once

struct TPTImageComboEntryLayout {
  int IconX, IconY;
  // The caption's rectangle runs over the whole height of the entry; the
  // highlight of a selected entry covers this much and no more.
  int TextLeft, TextRight;
  int CaptionX, CaptionY;
};

// rect: the entry's rectangle (left, top, bottom); indent: the level (0 in
// the combo's own face); imageWidth/imageHeight: the image list's size, or
// hasImages false; textWidth: the caption's width in the entry's font.
// Results that would leave the int range are held at its ends.
TPTImageComboEntryLayout ImageComboEntryLayout(int left, int top, int bottom, int indent, int indentPixels,
                                               bool hasImages, int imageWidth, int imageHeight, int textWidth);
