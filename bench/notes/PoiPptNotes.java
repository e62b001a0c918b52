// Apache POI's binary PowerPoint extractor asked for the notes alone, over every file named on
// the command line in one JVM. Prints, per file it reads, a line "\f<path>" and then its notes
// text; files it cannot read print nothing.

import java.io.OutputStream;
import java.io.PrintStream;
import org.apache.poi.hslf.extractor.PowerPointExtractor;

public class PoiPptNotes {
    public static void main(String[] args) throws Exception {
        PrintStream out = new PrintStream(System.out, true, "UTF-8");
        System.setErr(new PrintStream(OutputStream.nullOutputStream()));
        for (String name : args) {
            try (PowerPointExtractor extractor = new PowerPointExtractor(name)) {
                String notes = extractor.getNotes();
                out.print("\f" + name + "\n" + notes + "\n");
            } catch (Throwable error) {
                // Counted as unread by the caller.
            }
        }
    }
}
