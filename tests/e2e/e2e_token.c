/* quillon-e2e-token: asks the Wayland compositor for an xdg-activation token,
 * as a launcher does before it starts a program, and prints it. A second
 * start of the program handed this token in XDG_ACTIVATION_TOKEN may bring
 * the running copy to the front. */
#include <stdio.h>
#include <string.h>

#include <wayland-client.h>

#include "xdg-activation-v1-client-protocol.h"

static struct xdg_activation_v1* activation;
static char token[256];

static void global(void* data, struct wl_registry* registry, uint32_t name, const char* interface,
                   uint32_t version) {
  (void)data;
  (void)version;
  if (strcmp(interface, xdg_activation_v1_interface.name) == 0)
    activation = wl_registry_bind(registry, name, &xdg_activation_v1_interface, 1);
}

static void global_remove(void* data, struct wl_registry* registry, uint32_t name) {
  (void)data;
  (void)registry;
  (void)name;
}

static const struct wl_registry_listener registry_listener = {global, global_remove};

static void done(void* data, struct xdg_activation_token_v1* provider, const char* value) {
  (void)data;
  (void)provider;
  snprintf(token, sizeof token, "%s", value);
}

static const struct xdg_activation_token_v1_listener token_listener = {done};

int main(void) {
  struct wl_display* display = wl_display_connect(NULL);
  if (display == NULL) {
    fprintf(stderr, "quillon-e2e-token: no Wayland display\n");
    return 1;
  }
  struct wl_registry* registry = wl_display_get_registry(display);
  wl_registry_add_listener(registry, &registry_listener, NULL);
  wl_display_roundtrip(display);
  if (activation == NULL) {
    fprintf(stderr, "quillon-e2e-token: the compositor has no xdg-activation\n");
    return 1;
  }
  struct xdg_activation_token_v1* provider = xdg_activation_v1_get_activation_token(activation);
  xdg_activation_token_v1_add_listener(provider, &token_listener, NULL);
  xdg_activation_token_v1_set_app_id(provider, "quillon");
  xdg_activation_token_v1_commit(provider);
  while (token[0] == '\0' && wl_display_dispatch(display) != -1) {
  }
  if (token[0] == '\0') return 1;
  puts(token);
  xdg_activation_token_v1_destroy(provider);
  wl_display_disconnect(display);
  return 0;
}
