#include "ui/gtk/text_tags.h"

namespace velmora {

int big_tag_size(int base) { return base * 5 / 4; }

std::vector<TagSpec> text_tag_specs(int base) {
  return {
      {"big", {{"size", big_tag_size(base)}}},
      {"gap", {{"pixels-above-lines", 10}}},
      {"space", {{"pixels-above-lines", 5}, {"pixels-below-lines", 5}}},
      {"paragraph", {{"indent", 50}}},
      {"wide_margins", {{"left-margin", 50}}},
      {"lmarg", {{"left-margin", 20}}},
      {"indent", {{"left-margin", 40}}},
      {"indentx", {{"indent", 100}}},
      {"exdent", {{"indent", -100}}},
      {"indentplus", {{"left-margin", 80}}},
      {"blue_fg", {{"foreground", "blue"}}},
      {"green_fg", {{"foreground", "green"}}},
      {"red_fg", {{"foreground", "red"}}},
      {"gray_bg", {{"background", "gray"}}},
      {"gray_fg", {{"foreground", "gray"}}},
      {"dark_fg", {{"foreground", "#7B7B7B"}}},
      {"italic", {{"style", PANGO_STYLE_ITALIC}}},
      {"bold", {{"weight", PANGO_WEIGHT_BOLD}}},
      {"centre", {{"justification", GTK_JUSTIFY_CENTER}}},
      {"monospace", {{"family", "monospace"}}},
      {"underline", {{"underline", PANGO_UNDERLINE_SINGLE}}},
  };
}

int view_font_size(GtkTextView* view) {
  gtk_widget_ensure_style(GTK_WIDGET(view));
  const GtkStyle* style = gtk_widget_get_style(GTK_WIDGET(view));
  int size = style && style->font_desc ? pango_font_description_get_size(style->font_desc) : 0;
  return size > 0 ? size : 10 * PANGO_SCALE;
}

namespace {

void set_tag_property(GtkTextTag* tag, const TagProperty& property) {
  if (const int* number = std::get_if<int>(&property.value)) {
    g_object_set(tag, property.name, *number, nullptr);
  } else {
    g_object_set(tag, property.name, std::get<const char*>(property.value), nullptr);
  }
}

}  // namespace

void create_text_tags(GtkTextView* view) {
  GtkTextBuffer* buffer = gtk_text_view_get_buffer(view);
  for (const TagSpec& spec : text_tag_specs(view_font_size(view))) {
    GtkTextTag* tag = gtk_text_buffer_create_tag(buffer, spec.name, nullptr);
    for (const TagProperty& property : spec.properties) set_tag_property(tag, property);
  }
}

}  // namespace velmora
