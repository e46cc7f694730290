#ifndef VOREL_UI_QT_INTERNAL_FONT_PAGES_H_
#define VOREL_UI_QT_INTERNAL_FONT_PAGES_H_

class QObject;
class QString;

namespace vorel::qt {

// The font files the text renderer has mapped are read glyph by glyph, a few KiB each at
// scattered places in files of 20 MiB, while the kernel maps 64 KiB around every page touched.
// Marks those mappings for random access and lets go of the pages read so far: the renderer
// keeps the glyphs it has drawn and reads only the pages it needs from then on. Nothing
// changes on screen. UI thread.
void ReadFontFilesSparingly();

// Runs ReadFontFilesSparingly once, right after the first window of the program has been
// painted (when the glyphs of the start are drawn and cached). `app` is the application object.
void ReadFontFilesSparinglyAfterFirstPaint(QObject* app);

// Notes text about to be shown. Drawing a character for the first time reads the font files
// (its outline and the tables that lead to it), after which the renderer keeps the glyph; so
// when `text` holds a character not seen before, ReadFontFilesSparingly runs again a second
// later, once the text has been painted. A new song's title or a lyric line costs one such
// pass, the time display's digits ten in all. A bit lookup per character. UI thread.
void NoteTextShown(const QString& text);

}  // namespace vorel::qt

#endif  // VOREL_UI_QT_INTERNAL_FONT_PAGES_H_
