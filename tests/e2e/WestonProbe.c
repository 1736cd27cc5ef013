/* A module for the Wayland compositor weston that lets end-to-end tests see
 * and drive what a person at a headless weston would: which windows are on
 * the screen, where, and which of their pixels take input; and a pointer of
 * its own that moves and clicks.
 *
 * Load it with --modules=/path/weston_probe.so and WESTON_PROBE_FIFO naming
 * a FIFO. Each line written to the FIFO is one command; answers go to a file
 * named in the command, written whole and then renamed into place:
 *
 *   views FILE            one line per mapped window, top first:
 *                         "PID X Y WIDTH HEIGHT" (PID of the client)
 *   input PID W H FILE    the input region of the client's W x H window as a
 *                         plain PBM image (1 = takes input)
 *   drawn PID W H FILE    the same for the pixels the window draws (1 = not
 *                         fully see-through)
 *   click X Y N           N clicks of the left button at the screen point
 *   press X Y             the left button goes down at the screen point
 *   move X Y              the pointer moves there (the button as it is)
 *   release               the left button goes up
 */

#include <libweston/libweston.h>

#include <linux/input-event-codes.h>
#include <wayland-server-core.h>

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

/* Exported by libweston 10 without a public declaration. */
void weston_seat_init(struct weston_seat *seat, struct weston_compositor *ec, const char *seat_name);
int weston_seat_init_pointer(struct weston_seat *seat);
void notify_motion_absolute(struct weston_seat *seat, const struct timespec *time, double x, double y);
void notify_button(struct weston_seat *seat, const struct timespec *time, int32_t button,
		   enum wl_pointer_button_state state);
void notify_pointer_frame(struct weston_seat *seat);

struct probe {
	struct weston_compositor *compositor;
	struct weston_seat seat;
	int fd;
	char line[4096];
	size_t used;
};

static pid_t client_pid(struct weston_surface *surface)
{
	pid_t pid = 0;
	if (surface->resource)
		wl_client_get_credentials(wl_resource_get_client(surface->resource), &pid, NULL, NULL);
	return pid;
}

/* Writes FILE.part, then renames it: a reader never sees half an answer. */
static FILE *answer_open(const char *file, char *part, size_t size)
{
	snprintf(part, size, "%s.part", file);
	return fopen(part, "w");
}

static void answer_close(FILE *f, const char *part, const char *file)
{
	fclose(f);
	rename(part, file);
}

static void list_views(struct probe *probe, const char *file)
{
	char part[4200];
	FILE *f = answer_open(file, part, sizeof part);
	struct weston_view *view;
	if (!f)
		return;
	wl_list_for_each(view, &probe->compositor->view_list, link) {
		struct weston_surface *surface = view->surface;
		if (!weston_view_is_mapped(view) || surface != weston_surface_get_main_surface(surface))
			continue;
		fprintf(f, "%d %d %d %d %d\n", (int)client_pid(surface), (int)view->geometry.x,
			(int)view->geometry.y, surface->width, surface->height);
	}
	answer_close(f, part, file);
}

/* A plain PBM of the client's W x H window: its input region, or the pixels
 * it draws (alpha above 0). */
static void dump_mask(struct probe *probe, pid_t pid, int w, int h, const char *file, int drawn)
{
	char part[4200];
	struct weston_view *view;
	wl_list_for_each(view, &probe->compositor->view_list, link) {
		struct weston_surface *surface = view->surface;
		if (!weston_view_is_mapped(view) || client_pid(surface) != pid || surface->width != w ||
		    surface->height != h)
			continue;
		/* RGBA, 4 bytes a pixel, alpha last. */
		unsigned char *pixels = NULL;
		if (drawn) {
			const size_t size = (size_t)w * (size_t)h * 4;
			pixels = malloc(size);
			if (!pixels || weston_surface_copy_content(surface, pixels, size, 0, 0, w, h) != 0) {
				free(pixels);
				return;
			}
		}
		FILE *f = answer_open(file, part, sizeof part);
		if (f) {
			fprintf(f, "P1\n%d %d\n", w, h);
			for (int y = 0; y < h; y++) {
				for (int x = 0; x < w; x++) {
					const int on = drawn ? pixels[((size_t)y * (size_t)w + (size_t)x) * 4 + 3] != 0
							     : pixman_region32_contains_point(&surface->input, x, y, NULL);
					fputc(on ? '1' : '0', f);
				}
				fputc('\n', f);
			}
			answer_close(f, part, file);
		}
		free(pixels);
		return;
	}
}

static void move(struct probe *probe, double x, double y)
{
	struct timespec time;
	weston_compositor_get_time(&time);
	notify_motion_absolute(&probe->seat, &time, x, y);
	notify_pointer_frame(&probe->seat);
}

static void button(struct probe *probe, enum wl_pointer_button_state state)
{
	struct timespec time;
	weston_compositor_get_time(&time);
	notify_button(&probe->seat, &time, BTN_LEFT, state);
	notify_pointer_frame(&probe->seat);
}

static void click(struct probe *probe, double x, double y, int count)
{
	move(probe, x, y);
	for (int i = 0; i < count; i++) {
		button(probe, WL_POINTER_BUTTON_STATE_PRESSED);
		button(probe, WL_POINTER_BUTTON_STATE_RELEASED);
	}
}

static void run(struct probe *probe, char *line)
{
	char file[4096];
	int pid, w, h, n;
	double x, y;
	if (sscanf(line, "views %4095s", file) == 1)
		list_views(probe, file);
	else if (sscanf(line, "input %d %d %d %4095s", &pid, &w, &h, file) == 4)
		dump_mask(probe, pid, w, h, file, 0);
	else if (sscanf(line, "drawn %d %d %d %4095s", &pid, &w, &h, file) == 4)
		dump_mask(probe, pid, w, h, file, 1);
	else if (sscanf(line, "click %lf %lf %d", &x, &y, &n) == 3)
		click(probe, x, y, n);
	else if (sscanf(line, "press %lf %lf", &x, &y) == 2) {
		move(probe, x, y);
		button(probe, WL_POINTER_BUTTON_STATE_PRESSED);
	} else if (sscanf(line, "move %lf %lf", &x, &y) == 2)
		move(probe, x, y);
	else if (strcmp(line, "release") == 0)
		button(probe, WL_POINTER_BUTTON_STATE_RELEASED);
	else
		weston_log("weston probe: unknown command '%s'\n", line);
}

static int readable(int fd, uint32_t mask, void *data)
{
	struct probe *probe = data;
	ssize_t got = read(fd, probe->line + probe->used, sizeof probe->line - 1 - probe->used);
	if (got <= 0)
		return 0;
	probe->used += (size_t)got;
	probe->line[probe->used] = '\0';
	char *start = probe->line, *end;
	while ((end = strchr(start, '\n'))) {
		*end = '\0';
		run(probe, start);
		start = end + 1;
	}
	probe->used -= (size_t)(start - probe->line);
	memmove(probe->line, start, probe->used);
	if (probe->used == sizeof probe->line - 1)
		probe->used = 0; /* a line longer than the buffer is dropped */
	return 0;
}

WL_EXPORT int wet_module_init(struct weston_compositor *compositor, int *argc, char *argv[])
{
	const char *path = getenv("WESTON_PROBE_FIFO");
	if (!path) {
		weston_log("weston probe: WESTON_PROBE_FIFO is not set\n");
		return -1;
	}
	struct probe *probe = calloc(1, sizeof *probe);
	if (!probe)
		return -1;
	probe->compositor = compositor;
	/* Read and write: the FIFO never reports an end when a writer leaves. */
	probe->fd = open(path, O_RDWR | O_NONBLOCK | O_CLOEXEC);
	if (probe->fd < 0) {
		weston_log("weston probe: cannot open %s: %s\n", path, strerror(errno));
		free(probe);
		return -1;
	}
	weston_seat_init(&probe->seat, compositor, "probe");
	weston_seat_init_pointer(&probe->seat);
	wl_event_loop_add_fd(wl_display_get_event_loop(compositor->wl_display), probe->fd, WL_EVENT_READABLE,
			     readable, probe);
	weston_log("weston probe: listening on %s\n", path);
	return 0;
}
