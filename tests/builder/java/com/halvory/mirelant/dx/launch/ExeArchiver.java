package com.halvory.mirelant.dx.launch;

import java.util.ArrayList;
import java.util.List;
import java.util.function.IntConsumer;

/**
 * Test stand-in for the authoring tool's class: it declares the three natives
 * of the builder library and records every updateProgress value.
 */
public class ExeArchiver {
    static {
        System.loadLibrary("builder");
    }

    public native void addFile(String path, String base);

    public native void addFolder(String folder);

    public native int createArchive(String stubPath, String outputPath);

    /** Every value updateProgress received, in order, over all runs. */
    public final List<Integer> progress = new ArrayList<>();
    /** Runs inside each updateProgress call, before it returns or throws. */
    public IntConsumer onProgress = percent -> {};
    /** The count of received values at which updateProgress throws; 0 for never. */
    public int throwAt = 0;

    public void updateProgress(int percent) {
        progress.add(percent);
        onProgress.accept(percent);
        if (throwAt == progress.size()) {
            throw new IllegalStateException("updateProgress refused " + percent);
        }
    }
}
