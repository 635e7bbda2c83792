# The two set-up commands of the README: `make demo` and `make test`. Both install what is missing
# (Debian packages, as root), configure and build first.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: deps configure build test demo asan format clean

deps:
	bash scripts/instala-dependencias.sh

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEXILO_WERROR=ON > /dev/null

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

demo: build
	$(BUILD)/tools/vexilo

asan: deps
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DVEXILO_SANITIZE=ON > /dev/null
	cmake --build build-asan -j $(JOBS)
	cd build-asan && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) build-asan
