# The two set-up commands of the README: `make demo` and `make test`. Both install what is missing
# (Debian packages, as root), configure and build first.
BUILD ?= build
JOBS ?= $(shell nproc)
# A compiler cache for every build of the tree: the same source compiled with the same flags is taken
# from the cache (keyed by the preprocessed text, the compiler and its flags), so a second clone, or the
# sanitizer builds of an unchanged file, compile again only what changed. Paths are taken relative to the
# tree, so clones in other folders share it.
CCACHE := $(shell command -v ccache)
export CCACHE_BASEDIR := $(CURDIR)
LAUNCHER = $(if $(CCACHE),-DCMAKE_CXX_COMPILER_LAUNCHER=$(CCACHE) -DCMAKE_C_COMPILER_LAUNCHER=$(CCACHE))

.PHONY: deps configure build test demo demo-pg bench bench-pg screenshots install deb asan tsan fuzz format format-check clean

deps:
	bash scripts/install-dependencies.sh

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEXILO_WERROR=ON $(LAUNCHER) > /dev/null

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# The sample into ./demo, then the job on it in the default mode and in the rewrite mode on the output.
# No window is opened: it runs on a machine without a display.
CLI = $(BUILD)/cli/vexilo-cli
demo: build
	rm -rf demo
	$(CLI) demo demo
	@echo
	@echo "== procesar, modo por defecto (Mantener Asignaciones gráficas: No)"
	$(CLI) procesar --bdd demo/muestra.sqlite --bin demo/muestra.bin
	@echo
	@echo "== procesar, modo texto (Modificar Texto en Bin) sobre la salida"
	$(CLI) procesar --bdd demo/muestra.sqlite --bin demo/muestra_s.bin --modo texto

# The same demo with the database on a PostgreSQL server: a throwaway cluster started for it and stopped
# at the end, or the database that VEXILO_PG names (postgresql://..., missing or without tables).
demo-pg: build
	bash scripts/demo-pg.sh $(CLI) demo-pg

# The job beside the floor of the same work on SQLite's C interface alone (1,000,000 and 2,000,000
# elements, the three modes): job_s, floor_s, ratio_to_floor and peak_rss_mb. The samples are generated
# the first time and kept in the temporary folder. Then the default-mode job without and with its report
# (--informe): report_ratio, and the peak memory of each.
bench: build
	$(BUILD)/bench/bench_floor
	$(BUILD)/bench/bench_index
	$(BUILD)/bench/bench_report

# The job on a PostgreSQL server beside the same job on SQLite, 1,000,000 elements, the three modes
# (a throwaway cluster, or the server that VEXILO_PG names). Takes a few minutes the first time: the
# samples are generated and kept in the temporary folder.
bench-pg: build
	bash scripts/bench-pg.sh $(BUILD)/bench/bench_server

# The window rendered at rest, halfway through a job, at its end, and while a job waits for a database
# that another job holds, at the default scale and at 150 %:
# $(BUILD)/screenshots/{reposo,durante,final,espera}.png and $(BUILD)/screenshots/150/. No display needed.
# The first three are the guide's walk-through: the real window on the guide's sample, written where the
# guide has it (/home/ana/prueba, on a private /home of this command only: unshare needs root, as the
# set-up does). Those at the default scale are copied into docs/capturas/ for the user's guide: run it
# again after the window changes, and commit what changed.
SCREENSHOT_RUN = unshare --mount sh -c 'mount -t tmpfs vexilo-capturas /home && mkdir /home/ana && \
  cd $(BUILD) && QT_QPA_PLATFORM=offscreen VEXILO_GUIDE_HOME=/home/ana "$$@"' sh
screenshots: build
	$(SCREENSHOT_RUN) tests/test_gui --gtest_filter='Form1Drawing.*' --gtest_brief=1
	$(SCREENSHOT_RUN) env QT_SCALE_FACTOR=1.5 tests/test_gui --gtest_filter='Form1Drawing.*' --gtest_brief=1
	@ls $(BUILD)/screenshots/*.png $(BUILD)/screenshots/150/*.png
	mkdir -p docs/capturas
	cp $(BUILD)/screenshots/reposo.png $(BUILD)/screenshots/durante.png $(BUILD)/screenshots/final.png docs/capturas/

# Both programs, the Access reader helper, the menu entry, the icon, the manual pages and the guide,
# under PREFIX (/usr/local unless given).
PREFIX ?= /usr/local
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# The Debian package of the same, $(DEB_BUILD)/vexilo_<version>_<arch>.deb, from a build folder of its own
# that builds only what the package holds: no test, benchmark or fuzz target.
DEB_BUILD ?= build-deb
deb: deps
	cmake -S . -B $(DEB_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEXILO_WERROR=ON -DVEXILO_TESTS=OFF > /dev/null
	cmake --build $(DEB_BUILD) -j $(JOBS)
	cd $(DEB_BUILD) && cpack -G DEB

asan: deps
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DVEXILO_SANITIZE=ON $(LAUNCHER) > /dev/null
	cmake --build build-asan -j $(JOBS)
	cd build-asan && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# ThreadSanitizer over the test binaries of the layers a second thread runs through: the window runs
# its jobs off its own thread, through the run driver, the passes and the engines. Any report fails.
# The tests start helper processes (the Access reader, the test server) while threads run; each child
# runs another program at once, which die_after_fork=0 allows. QProcess starts its child through vfork,
# and the child's calls pass through the checker on the parent's memory: the thread that started it is
# then recorded wrongly (its later locks and its end unseen) and reports races that are none. The
# window's tests of the Access import, whose task starts the reader with QProcess, run everywhere else
# but here; the test server is started with posix_spawn, which keeps the child out of the checker.
TSAN_TESTS = test_gui test_app test_passes test_drawing test_engines
TSAN_GUI_FILTER = -Form1Import.*:ImportOffer.*
tsan: deps
	cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEXILO_TSAN=ON $(LAUNCHER) > /dev/null
	cmake --build build-tsan -j $(JOBS) --target $(TSAN_TESTS)
	set -e; for t in $(TSAN_TESTS); do \
	  echo "== $$t"; filter='*'; [ "$$t" = test_gui ] && filter='$(TSAN_GUI_FILTER)'; \
	  (cd build-tsan && QT_QPA_PLATFORM=offscreen TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 die_after_fork=0 \
	    suppressions=$(CURDIR)/tests/tsan.supp" tests/$$t --gtest_brief=1 \
	    --gtest_filter="$$filter"); \
	done

# Coverage-guided fuzzing (libFuzzer, clang, AddressSanitizer and UndefinedBehaviorSanitizer) of the
# drawing walk and of the Access importer's reading, each for FUZZ_SECONDS, from the seeds that
# vexilo-fuzz-seeds makes. The corpus grows in build-fuzz/corpus/ from one run to the next; a
# finding stops the run with a non-zero status and leaves its input in build-fuzz/findings/.
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_TARGETS = walk import
fuzz: deps
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
	  -DVEXILO_SANITIZE=ON -DVEXILO_FUZZ=ON > /dev/null
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target vexilo-fuzz-seeds $(addprefix fuzz-,$(FUZZ_TARGETS))
	rm -rf $(FUZZ_BUILD)/seeds
	$(FUZZ_BUILD)/fuzz/vexilo-fuzz-seeds $(FUZZ_BUILD)/seeds tests/data/nwind.mdb
	set -e; for t in $(FUZZ_TARGETS); do \
	  mkdir -p $(FUZZ_BUILD)/corpus/$$t $(FUZZ_BUILD)/findings/$$t; \
	  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 $(FUZZ_BUILD)/fuzz/fuzz-$$t \
	    -max_total_time=$(FUZZ_SECONDS) -timeout=10 -rss_limit_mb=2048 -max_len=65536 -print_final_stats=1 \
	    -artifact_prefix=$(FUZZ_BUILD)/findings/$$t/ $(FUZZ_BUILD)/corpus/$$t $(FUZZ_BUILD)/seeds/$$t; \
	done

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

# Fails, naming the file and the line, when a tracked source is not formatted as .clang-format says.
format-check: deps
	git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror

clean:
	rm -rf $(BUILD) build-asan build-tsan build-fuzz
