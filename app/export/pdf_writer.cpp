// drawing.pdf: the drawing's sheets as the pages of a PDF file, each an A3
// sheet to scale, rendered from drawing.svg with librsvg and cairo.
#include <cairo-pdf.h>
#include <cairo.h>
#include <gio/gio.h>
#include <librsvg/rsvg.h>

#include <memory>
#include <sstream>
#include <stdexcept>

#include "app/export/exporter.h"
#include "app/export/text.h"

// Under LeakSanitizer: fontconfig, which the renderer's text layout loads,
// keeps its configuration and caches for the life of the process.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
#endif
#endif

namespace pierhost {

namespace {

constexpr double kPointsPerMm = 72.0 / 25.4;

cairo_status_t WriteToStream(void* closure, const unsigned char* data, unsigned int length) {
  auto* out = static_cast<std::ostream*>(closure);
  out->write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(length));
  return *out ? CAIRO_STATUS_SUCCESS : CAIRO_STATUS_WRITE_ERROR;
}

void UnrefObject(void* p) { g_object_unref(p); }

class DrawingPdfWriter : public Exporter {
 public:
  std::string FileName() const override { return "drawing.pdf"; }

  void Write(const ExportInput& input, const Schedule& schedule, std::ostream& out) const override {
    std::ostringstream svg;
    MakeDrawingSvgWriter()->Write(input, schedule, svg);
    const std::string text = svg.str();
    // One sheet per group of cages, each a group "sheetN" of the SVG; a
    // drawing without cages is one sheet saying so.
    const std::size_t groups = CageGroups(input, schedule).size();
    const std::size_t sheets = std::max<std::size_t>(groups, 1);

    GError* error = nullptr;
    std::unique_ptr<GInputStream, decltype(&UnrefObject)> stream(
        g_memory_input_stream_new_from_data(text.data(), static_cast<gssize>(text.size()), nullptr),
        &UnrefObject);
    // A building's drawing is large: the parser's limits are for documents
    // from elsewhere, and this one is our own.
    std::unique_ptr<RsvgHandle, decltype(&UnrefObject)> handle(
        rsvg_handle_new_from_stream_sync(stream.get(), nullptr, RSVG_HANDLE_FLAG_UNLIMITED, nullptr,
                                         &error),
        &UnrefObject);
    if (!handle) {
      const std::string why = error ? error->message : "unknown";
      if (error) g_error_free(error);
      throw std::runtime_error("drawing.pdf: the drawing could not be read: " + why);
    }
    const double width = kSheetWidthMm * kPointsPerMm, height = kSheetHeightMm * kPointsPerMm;
    // The library writes its numbers with printf: a decimal comma of the
    // process's locale must not reach the file.
    const ClassicNumbersInThisThread classic_numbers;
    cairo_surface_t* surface =
        cairo_pdf_surface_create_for_stream(&WriteToStream, &out, width, height);
    // The date the caller fixed, so that the same run gives the same file.
    const std::string date = input.date.size() == 10 ? input.date + "T00:00:00" : input.date;
    cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_CREATE_DATE, date.c_str());
    cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_MOD_DATE, date.c_str());
    const std::string title = "Column cages - " + input.project;
    cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_TITLE, title.c_str());
    cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_CREATOR, "pierhost");
    cairo_t* cr = cairo_create(surface);
    bool rendered = true;
    std::string why;
    for (std::size_t s = 0; s < sheets && rendered; ++s) {
      // The whole document placed so that sheet s fills the page.
      const RsvgRectangle viewport{0, -height * static_cast<double>(s), width,
                                   height * static_cast<double>(sheets)};
      const std::string layer = "#sheet" + Integer(s + 1);
      rendered = rsvg_handle_render_layer(handle.get(), cr, groups > 0 ? layer.c_str() : nullptr,
                                          &viewport, &error);
      if (!rendered && error) {
        why = error->message;
        g_error_free(error);
        error = nullptr;
      }
      cairo_show_page(cr);
    }
    cairo_destroy(cr);
    cairo_surface_finish(surface);
    const cairo_status_t status = cairo_surface_status(surface);
    cairo_surface_destroy(surface);
    if (!rendered) throw std::runtime_error("drawing.pdf: a sheet could not be drawn: " + why);
    if (status != CAIRO_STATUS_SUCCESS) {
      throw std::runtime_error(std::string("drawing.pdf: writing failed: ") +
                               cairo_status_to_string(status));
    }
  }
};

}  // namespace

std::unique_ptr<Exporter> MakeDrawingPdfWriter() { return std::make_unique<DrawingPdfWriter>(); }

}  // namespace pierhost
