# The two commands of the README. Both install what is missing first.
BUILD ?= build
JOBS  ?= $(shell nproc)

.PHONY: run test build deps clean

deps:
	bash scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

run: build
	bash scripts/run-demo.sh $(BUILD)

test: build
	bash scripts/run-tests.sh $(BUILD)

clean:
	rm -rf $(BUILD)
