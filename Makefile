# The two set-up commands of the README: `make demo` and `make test`. Both install what is missing
# (Debian packages, as root), configure and build first.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: deps configure build test demo screenshots asan format clean

deps:
	bash scripts/instala-dependencias.sh

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEXILO_WERROR=ON > /dev/null

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# The sample into ./demo, then the job on it in the default mode and in the rewrite mode on the output.
# No window is opened: it runs on a machine without a display.
CLI = $(BUILD)/tools/vexilo-cli
demo: build
	rm -rf demo
	$(CLI) demo demo
	@echo
	@echo "== procesar, modo por defecto (Mantener Asignaciones gráficas: No)"
	$(CLI) procesar --bdd demo/muestra.sqlite --bin demo/muestra.bin
	@echo
	@echo "== procesar, modo texto (Modificar Texto en Bin) sobre la salida"
	$(CLI) procesar --bdd demo/muestra.sqlite --bin demo/muestra_s.bin --modo texto

# The window rendered at rest, halfway through a job and at its end, at the default scale and at 150 %:
# $(BUILD)/screenshots/{reposo,durante,final}.png and $(BUILD)/screenshots/150/. No display needed.
screenshots: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen tests/test_app --gtest_filter='Form1Dibujo.*' --gtest_brief=1
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen QT_SCALE_FACTOR=1.5 tests/test_app --gtest_filter='Form1Dibujo.*' --gtest_brief=1
	@ls $(BUILD)/screenshots/*.png $(BUILD)/screenshots/150/*.png

asan: deps
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DVEXILO_SANITIZE=ON > /dev/null
	cmake --build build-asan -j $(JOBS)
	cd build-asan && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) build-asan
